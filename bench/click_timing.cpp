// Click timing of the auto clicker against xdotool, on a private Xvfb, judged by an independent
// XInput 2 listener that stamps every press with CLOCK_MONOTONIC on receipt.
//
//   click_timing [seconds_per_run]
#include "engine/autoclicker.h"
#include "engine/signals.h"
#include "engine/workers.h"
#include "platform/input.h"
#include "state/tool_state.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <X11/extensions/XInput2.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Figures {
    double cps = 0, p50 = 0, p99 = 0, max = 0, cpu = 0;
    size_t clicks = 0;
};

// Child mode: runs the real engine threads for the given time, then stops.
int RunClickerChild(int intervalMs, double seconds) {
    if (!OsInputInit()) return 2;
    autoClickIntervalMs = intervalMs;
    autoClickRepeatMode = 1;
    g_Threads.emplace_back(AutoClickerThread);
    g_Threads.emplace_back(SignalProcessorThread);
    triggerAutoClickStart = true;
    WakeSignalProcessor();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    StopToolsForExit();
    WakeAndJoinWorkers();
    OsInputShutdown();
    return 0;
}

// Runs argv to completion; returns CPU seconds per wall second used by it.
double RunMeasured(std::vector<std::string> args) {
    const int64_t start = MonotonicNs();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = double(MonotonicNs() - start) / 1e9;
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "click_timing: %s failed\n", args[0].c_str());
    }
    return wall > 0 ? cpu / wall : 0;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, size_t(std::ceil(fraction * values.size())) - 1);
    return values[index];
}

Figures Measure(Xi2Observer& observer, int intervalMs, const std::vector<std::string>& command) {
    ClearObserved(observer);
    Figures figures;
    figures.cpu = RunMeasured(command);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<int64_t> stamps;
    for (const ObservedEvent& e : ObservedSnapshot(observer)) {
        if (e.type == XI_RawButtonPress && e.sourceId == observer.xtestPointerId) {
            stamps.push_back(e.stampNs);
        }
    }
    figures.clicks = stamps.size();
    if (stamps.size() < 3) return figures;
    std::vector<double> errors;
    for (size_t i = 1; i < stamps.size(); ++i) {
        errors.push_back(std::fabs(double(stamps[i] - stamps[i - 1]) / 1e6 - intervalMs));
    }
    figures.cps = double(stamps.size() - 1) / (double(stamps.back() - stamps.front()) / 1e9);
    figures.p50 = Percentile(errors, 0.50);
    figures.p99 = Percentile(errors, 0.99);
    figures.max = *std::max_element(errors.begin(), errors.end());
    return figures;
}

void Print(const char* who, int intervalMs, const Figures& f) {
    std::printf(
        "%-8s interval=%2dms clicks=%6zu cps=%7.1f err_p50_ms=%.4f err_p99_ms=%.4f "
        "err_max_ms=%.3f cpu_s_per_s=%.3f\n",
        who, intervalMs, f.clicks, f.cps, f.p50, f.p99, f.max, f.cpu);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--clicker-child") {
        return RunClickerChild(std::atoi(argv[2]), std::atof(argv[3]));
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    Xi2Observer observer;
    if (!StartObserver(observer)) {
        StopPrivateXvfb(server);
        return 1;
    }
    const std::string self = "/proc/self/exe";
    char selfPath[4096] = {};
    const ssize_t length = readlink(self.c_str(), selfPath, sizeof selfPath - 1);
    if (length <= 0) return 1;

    Figures ours1, theirs1;
    for (int intervalMs : {1, 5, 10}) {
        const Figures ours = Measure(
            observer, intervalMs,
            {selfPath, "--clicker-child", std::to_string(intervalMs), std::to_string(seconds)});
        Print("quillon", intervalMs, ours);
        const long repeats = long(seconds * 1000.0 / intervalMs);
        const Figures theirs = Measure(observer, intervalMs,
                                       {"xdotool", "click", "--repeat", std::to_string(repeats),
                                        "--delay", std::to_string(intervalMs), "1"});
        Print("xdotool", intervalMs, theirs);
        if (intervalMs == 1) {
            ours1 = ours;
            theirs1 = theirs;
        }
    }
    StopObserver(observer);
    StopPrivateXvfb(server);
    std::printf(
        "click_timing: 1ms cps=%.0f p99_err_ms=%.4f cpu=%.3f xdotool_cps=%.0f "
        "xdotool_p99_err_ms=%.4f\n",
        ours1.cps, ours1.p99, ours1.cpu, theirs1.cps, theirs1.p99);
    return 0;
}
