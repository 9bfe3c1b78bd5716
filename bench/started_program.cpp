#include "bench/started_program.h"

#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"

#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

std::string SessionPath(const StartedQuillon& program) {
    return program.dataHome + "/Quillon/session.dat";
}

// Asked seldom: the question itself briefly grabs F6.
bool WaitForHotkeys() {
    return WaitUntil([] { return KeyGrabbedByAnotherClient(72); }, 20000, 200);
}

}  // namespace

bool StartQuillon(StartedQuillon& program, const std::function<void()>& configure) {
    char pattern[] = "/tmp/qln-bench-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    program.dataHome = pattern;
    std::filesystem::create_directories(program.dataHome + "/Quillon");
    ResetToolStateForTest();
    profiles.push_back(MacroProfile{kDefaultProfileName, "", {}});
    if (configure) configure();
    if (!SaveSessionStateTo(SessionPath(program), true)) return false;
    program.pid = fork();
    if (program.pid == 0) {
        setenv("XDG_DATA_HOME", program.dataHome.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (program.dataHome + "/config").c_str(), 1);
        setenv("QLN_TEST_CONNECT_TO", "quillon.app:443:127.0.0.1:9", 1);
        execl(QUILLON_BINARY, QUILLON_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (program.pid > 0 && WaitForHotkeys()) return true;
    std::fprintf(stderr, "bench: quillon did not start\n");
    StopQuillon(program);  // a late start must not click into the next measurement
    return false;
}

void StopQuillon(StartedQuillon& program) {
    if (program.pid <= 0) return;
    kill(program.pid, SIGTERM);
    waitpid(program.pid, nullptr, 0);
    program.pid = -1;
}

std::vector<UnifiedEvent> SavedRecording(const StartedQuillon& program) {
    ResetToolStateForTest();
    if (!LoadSessionStateFrom(SessionPath(program))) return {};
    std::lock_guard<std::mutex> lock(profileMutex);
    if (currentProfileIdx < 0 || size_t(currentProfileIdx) >= profiles.size()) return {};
    return profiles[size_t(currentProfileIdx)].events;
}

double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which may hold blanks: utime and stime are 14 and 15.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                    &utime, &stime) != 2) {
        return 0;
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

std::vector<pid_t> StartCpuHogs() {
    std::vector<pid_t> hogs;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < cores; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) hogs.push_back(pid);
    }
    return hogs;
}

void StopCpuHogs(std::vector<pid_t>& hogs) {
    for (pid_t pid : hogs) kill(pid, SIGKILL);
    for (pid_t pid : hogs) waitpid(pid, nullptr, 0);
    hogs.clear();
}

void RaiseJudge(std::thread& listener) {
    sched_param param{};
    param.sched_priority = 50;
    if (pthread_setschedparam(listener.native_handle(), SCHED_FIFO, &param) != 0) {
        std::fprintf(stderr, "bench: the listener runs at normal priority (no real-time rights)\n");
    }
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}
