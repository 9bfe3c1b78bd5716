// Time from a physical F6 press to the first synthetic click, as an independent XInput 2
// listener sees both, over many toggles. The engines and tap run in a second process.
//
//   hotkey_latency [toggles]
#include "bench/engine_child.h"
#include "tests/support/physical_input.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <X11/extensions/XInput2.h>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int kF6 = 72;

// Stamp of the first event after `after` that matches, or -1 when none came in time.
int64_t FirstStampAfter(Xi2Observer& observer, int64_t after, int type, int sourceId) {
    const int64_t until = MonotonicNs() + 2000000000;
    while (MonotonicNs() < until) {
        for (const ObservedEvent& e : ObservedSnapshot(observer)) {
            if (e.stampNs > after && e.type == type && e.sourceId == sourceId) return e.stampNs;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return -1;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(std::ceil(fraction * values.size())) - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--engine-child") {
        return RunEngineChild(std::string(argv[2]) == "record");
    }
    const int toggles = argc > 1 ? std::max(10, std::atoi(argv[1])) : 250;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    int childOut = -1;
    const pid_t child = StartEngineChild(false, childOut);
    if (child < 0) return 1;
    Xi2Observer observer;
    PhysicalInput* input = OpenPhysicalInput();
    if (!input || !StartObserver(observer)) return 1;

    std::vector<double> latencies, serverPath;
    for (int i = 0; i < toggles; ++i) {
        ClearObserved(observer);
        const int64_t injected = MonotonicNs();
        PhysicalKey(input, kF6, true);
        const int64_t seen =
            FirstStampAfter(observer, injected, XI_RawKeyPress, PhysicalKeyboardId(input));
        const int64_t clicked =
            FirstStampAfter(observer, injected, XI_RawButtonPress, observer.xtestPointerId);
        PhysicalKey(input, kF6, false);
        PhysicalTap(input, kF6);  // stop again
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (clicked < 0 || seen < 0) {
            std::fprintf(stderr, "hotkey_latency: toggle %d produced no click\n", i);
            continue;
        }
        latencies.push_back(double(clicked - injected) / 1e6);
        serverPath.push_back(double(seen - injected) / 1e6);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    StopObserver(observer);
    ClosePhysicalInput(input);
    StopPrivateXvfb(server);
    if (latencies.empty()) return 1;
    std::printf("toggles=%zu injected-to-listener (X server path alone): p50_ms=%.3f p99_ms=%.3f\n",
                latencies.size(), Percentile(serverPath, 0.5), Percentile(serverPath, 0.99));
    std::printf("hotkey_latency: p50_ms=%.3f p99_ms=%.3f max_ms=%.3f\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.99), *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
