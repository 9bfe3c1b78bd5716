#include "bench/engine_child.h"

#include "engine/signals.h"
#include "engine/workers.h"
#include "platform/input.h"
#include "platform/tap.h"
#include "state/tool_state.h"

#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

double PercentileOf(const std::vector<uint64_t>& histogram, double fraction) {
    uint64_t total = 0;
    for (uint64_t count : histogram) total += count;
    uint64_t seen = 0;
    for (size_t micros = 0; micros < histogram.size(); ++micros) {
        seen += histogram[micros];
        if (total > 0 && double(seen) >= fraction * double(total)) return double(micros);
    }
    return 0;
}

size_t RecordedCount() {
    std::lock_guard<std::mutex> lock(profileMutex);
    return profiles.empty() ? 0 : profiles[0].events.size();
}

}  // namespace

int RunEngineChild(bool record) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    profiles.push_back(MacroProfile{"Default Tracking Profile", "", {}});
    if (!OsInputInit()) return 2;
    StartToolThreads();
    if (!OsStartInputTap()) return 3;
    autoClickIntervalMs = 1000;  // the first click is the one that counts
    if (record) {
        triggerRecordStart = true;
        WakeSignalProcessor();
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&set, &signal);
    OsStopInputTap();  // every event the tap took in has been handled
    if (record) {
        std::printf("recorded=%zu p50_us=%.0f p99_us=%.0f\n", RecordedCount(),
                    PercentileOf(OsTapHandlingHistogram(), 0.5),
                    PercentileOf(OsTapHandlingHistogram(), 0.99));
        std::fflush(stdout);
    }
    StopToolsForExit();
    WakeAndJoinWorkers();
    OsInputShutdown();
    return 0;
}

std::string ReadChildLine(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
}

int StartEngineChild(bool record, int& readFd) {
    char self[4096] = {};
    int fds[2];
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0 || pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        execl(self, self, "--engine-child", record ? "record" : "plain",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    readFd = fds[0];
    return ReadChildLine(readFd) == "ready" ? pid : -1;
}
