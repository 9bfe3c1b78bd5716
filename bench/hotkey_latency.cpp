// Time from a physical F6 press to the first synthetic click of the program users run, as an
// independent XInput 2 listener sees both, over many toggles; idle and with a busy process on
// each core. The X server's own path (injection to the listener) is printed beside it.
//
//   hotkey_latency [toggles]
#include "bench/started_program.h"
#include "state/tool_state.h"
#include "tests/support/physical_input.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int kF6 = 72;

void Measure(Xi2Observer& observer, PhysicalInput* input, int toggles, const char* load) {
    StartedQuillon program;
    // A long interval: the first click of each run is the one that counts.
    if (!StartQuillon(program, [] { autoClickIntervalSecs = 1; })) return;
    std::vector<double> latencies, serverPath, ownPart;
    for (int i = 0; i < toggles; ++i) {
        ClearObserved(observer);
        const int64_t injected = MonotonicNs();
        PhysicalKey(input, kF6, true);
        const int64_t seen =
            FirstStampAfter(observer, injected, XI_RawKeyPress, PhysicalKeyboardId(input));
        const int64_t clicked =
            FirstStampAfter(observer, injected, XI_RawButtonPress, observer.xtestPointerId);
        PhysicalKey(input, kF6, false);
        const int64_t stopped = MonotonicNs();
        PhysicalTap(input, kF6);  // stop again
        // As a user sees the clicks end before pressing again: a stopping clicker lets go of
        // the right button too, which it never clicks. A press before that could be taken
        // together with the stop and toggle once for both.
        FirstStampAfter(observer, stopped, XI_RawButtonRelease, observer.xtestPointerId, 3);
        if (clicked < 0 || seen < 0) {
            std::fprintf(stderr, "hotkey_latency: toggle %d produced no click\n", i);
            continue;
        }
        latencies.push_back(double(clicked - injected) / 1e6);
        serverPath.push_back(double(seen - injected) / 1e6);
        ownPart.push_back(double(clicked - seen) / 1e6);
    }
    StopQuillon(program);
    if (latencies.empty()) return;
    std::printf(
        "hotkey_latency (%s): toggles=%zu p50_ms=%.3f p99_ms=%.3f max_ms=%.3f; X server "
        "path alone p50_ms=%.3f p99_ms=%.3f; key seen to click p50_ms=%.3f p99_ms=%.3f\n",
        load, latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        *std::max_element(latencies.begin(), latencies.end()), Percentile(serverPath, 0.5),
        Percentile(serverPath, 0.99), Percentile(ownPart, 0.5), Percentile(ownPart, 0.99));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int toggles = argc > 1 ? std::max(10, std::atoi(argv[1])) : 250;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    Xi2Observer observer;
    PhysicalInput* input = OpenPhysicalInput();
    if (!input || !StartObserver(observer)) return 1;
    RaiseJudge(observer.thread);
    for (const bool loaded : {false, true}) {
        std::vector<pid_t> hogs;
        if (loaded) hogs = StartCpuHogs();
        Measure(observer, input, toggles, loaded ? "a busy process on each core" : "idle");
        StopCpuHogs(hogs);
    }
    StopObserver(observer);
    ClosePhysicalInput(input);
    StopPrivateXvfb(server);
    return 0;
}
