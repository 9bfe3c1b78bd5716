// From `quillon --toggle clicker` starting to the first click of the running program, as an
// independent XInput 2 listener sees it, over many toggles. Beside it, what starting a process
// costs at all: `quillon --version` against /bin/true, spawned and waited for the same way.
//
//   control_latency [toggles]
#include "bench/started_program.h"
#include "state/tool_state.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <X11/extensions/XInput2.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Runs a program to its end with its output thrown away; false when it failed.
bool RunQuietly(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int status = 0;
    const bool ran = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                     WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return ran;
}

std::vector<double> SpawnTimes(const std::vector<std::string>& argv, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const int64_t started = MonotonicNs();
        if (RunQuietly(argv)) times.push_back(double(MonotonicNs() - started) / 1e6);
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    const int toggles = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    char runtime[] = "/tmp/qln-control-XXXXXX";
    if (!mkdtemp(runtime)) return 1;
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    Xi2Observer observer;
    if (!StartObserver(observer)) return 1;
    RaiseJudge(observer.thread);
    StartedQuillon program;
    if (!StartQuillon(program, [] { autoClickIntervalSecs = 1; })) return 1;
    const std::vector<std::string> toggle = {QUILLON_BINARY, "--toggle", "clicker"};
    std::vector<double> latencies, answers;
    for (int i = 0; i < toggles; ++i) {
        ClearObserved(observer);
        const int64_t started = MonotonicNs();
        RunQuietly(toggle);
        answers.push_back(double(MonotonicNs() - started) / 1e6);
        const int64_t clicked =
            FirstStampAfter(observer, started, XI_RawButtonPress, observer.xtestPointerId);
        RunQuietly(toggle);
        if (clicked > 0) latencies.push_back(double(clicked - started) / 1e6);
        // A shortcut is pressed at a person's pace: the page has shown the last toggle (it polls
        // four times a second) before the next one starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    StopQuillon(program);
    StopObserver(observer);
    StopPrivateXvfb(server);
    const std::vector<double> version = SpawnTimes({QUILLON_BINARY, "--version"}, 100);
    const std::vector<double> trueTimes = SpawnTimes({"/bin/true"}, 100);
    std::printf(
        "process start: quillon --version p50_ms=%.3f p99_ms=%.3f; /bin/true p50_ms=%.3f "
        "p99_ms=%.3f\n",
        Percentile(version, 0.5), Percentile(version, 0.99), Percentile(trueTimes, 0.5),
        Percentile(trueTimes, 0.99));
    std::printf("command answered and ended: p50_ms=%.3f p99_ms=%.3f\n", Percentile(answers, 0.5),
                Percentile(answers, 0.99));
    std::printf("control_latency: p50_ms=%.3f p99_ms=%.3f\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.99));
    return latencies.size() == size_t(toggles) ? 0 : 1;
}
