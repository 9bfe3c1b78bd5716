// Recording under load: pointer motion at 1000 events per second for 10 seconds, with clicks
// and key presses between, injected as the user; the recording process counts what it got.
//
//   record_rate [seconds]
#include "bench/engine_child.h"
#include "tests/support/physical_input.h"
#include "tests/support/xvfb.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int kA = 38;

void SleepUntil(const timespec& at) {
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

void Advance(timespec& at, long nanos) {
    at.tv_nsec += nanos;
    while (at.tv_nsec >= 1000000000) {
        at.tv_nsec -= 1000000000;
        ++at.tv_sec;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--engine-child") {
        return RunEngineChild(std::string(argv[2]) == "record");
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    PhysicalInput* input = OpenPhysicalInput();
    if (!input) return 1;
    PhysicalMoveTo(input, 500, 500);
    int childOut = -1;
    const pid_t child = StartEngineChild(true, childOut);
    if (child < 0) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the recording has begun

    // Every motion goes to a new place, so every one must be recorded; every 100 ms a click
    // and a key press add four more events.
    long injected = 0;
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    const long moves = long(seconds * 1000.0);
    for (long i = 0; i < moves; ++i) {
        Advance(at, 1000000);
        SleepUntil(at);
        PhysicalMoveTo(input, 100 + int(i % 800), 100 + int((i / 800) % 600));
        ++injected;
        if (i % 100 == 50) {
            PhysicalClick(input, 3);
            PhysicalTap(input, kA);
            injected += 4;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child, SIGTERM);
    const std::string report = ReadChildLine(childOut);
    waitpid(child, nullptr, 0);
    ClosePhysicalInput(input);
    StopPrivateXvfb(server);
    long recorded = 0;
    double p50 = 0, p99 = 0;
    if (std::sscanf(report.c_str(), "recorded=%ld p50_us=%lf p99_us=%lf", &recorded, &p50, &p99) !=
        3) {
        std::fprintf(stderr, "record_rate: no report from the recording process\n");
        return 1;
    }
    std::printf("tap handling per event: p50_us=%.0f p99_us=%.0f (1 us buckets)\n", p50, p99);
    std::printf("record_rate: injected=%ld recorded=%ld lost=%ld p99_us=%.0f\n", injected, recorded,
                injected - recorded, p99);
    return 0;
}
