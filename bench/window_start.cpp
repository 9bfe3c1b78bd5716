// Starting the program as a user does, until its main page asks for its settings: the page's
// first status poll follows that call at once and rewrites status.txt, which this benchmark
// watches from outside. Beside it, the native time of the status poll with large recordings, and
// the memory of the program with its web processes.
#include "bench/started_program.h"
#include "bridge/bindings.h"
#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/status.h"
#include "store/status_writer.h"
#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double RssMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

// The program and every process below it (the web engine's processes).
double TreeRssMb(pid_t root) {
    double total = 0;
    for (pid_t pid : ProcessTree(root)) total += RssMb(pid);
    return total;
}

struct StartFigures {
    double readyMs = -1;
    double rssMb = 0;
};

StartFigures StartOnce() {
    char pattern[] = "/tmp/qln-bench-window-XXXXXX";
    StartFigures figures;
    if (!mkdtemp(pattern)) return figures;
    const std::string home = pattern, data = home + "/Quillon";
    fs::create_directories(data);
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, data.c_str(), IN_MOVED_TO);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        execl(QUILLON_BINARY, QUILLON_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; figures.readyMs < 0 && (n = read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<inotify_event*>(at);
            if (event->len && std::string(event->name) == "status.txt")
                figures.readyMs = MsSince(start);
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    // Settled: the page polls, the web processes have loaded it.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    figures.rssMb = TreeRssMb(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    fs::remove_all(home);
    return figures;
}

// The status poll's native handler with three profiles of 20,000 events each, while a tool runs.
std::vector<double> StatusPollMicros(int calls, std::vector<double>& buildMicros) {
    char pattern[] = "/tmp/qln-bench-status-XXXXXX";
    if (!mkdtemp(pattern)) return {};
    setenv("XDG_DATA_HOME", pattern, 1);
    ResetToolStateForTest();
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        for (int p = 0; p < 3; ++p) {
            profiles.push_back(
                MacroProfile{p ? "Profile " + std::to_string(p) : kDefaultProfileName, "",
                             std::vector<UnifiedEvent>(20000)});
        }
        currentProfileIdx = 1;
    }
    std::vector<double> micros;
    for (int i = 0; i < calls; ++i) {
        // A running tool changes the status on every poll, so every poll has a file to write.
        currentClickCount.fetch_add(1);
        auto start = Clock::now();
        BindGetTrackerStatus("[]");
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        start = Clock::now();
        {
            std::lock_guard<std::mutex> lock(profileMutex);
            BuildTrackerStatusJson("[]");
        }
        buildMicros.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    StopTrackerStatusWriter();
    fs::remove_all(pattern);
    return micros;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    std::vector<double> ready, rss;
    for (int run = 0; run < runs; ++run) {
        const StartFigures figures = StartOnce();
        std::printf("start %d: main page ready %.0f ms, quillon with its web processes %.0f MB\n",
                    run + 1, figures.readyMs, figures.rssMb);
        ready.push_back(figures.readyMs);
        rss.push_back(figures.rssMb);
    }
    StopPrivateXvfb(server);
    std::vector<double> builds;
    const std::vector<double> polls = StatusPollMicros(2000, builds);
    std::printf("status poll (native, 3 x 20,000 events): p50 %.1f us, p99 %.1f us, max %.1f us\n",
                Percentile(polls, 0.5), Percentile(polls, 0.99), Percentile(polls, 1.0));
    std::printf("  of which the status object alone: p50 %.1f us, p99 %.1f us\n",
                Percentile(builds, 0.5), Percentile(builds, 0.99));
    std::printf("window_start: main_page_ready_ms=%.0f status_poll_us_p99=%.1f rss_mb=%.0f\n",
                Percentile(ready, 0.5), Percentile(polls, 0.99), Percentile(rss, 0.5));
    return 0;
}
