// Recording under load: pointer motion at 1000 events per second, with clicks and key presses
// between, injected as the user through the server's own devices. The started quillon records
// (F8 on and off from the keyboard) and the saved recording is counted; every motion goes to a
// new place, so every one must be there. Run idle and with a busy process on each core. The
// tap's own handling time per event comes from the engines alone in a child process beside it.
//
//   record_rate [seconds]
#include "bench/engine_child.h"
#include "bench/started_program.h"
#include "tests/support/desktop.h"
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

constexpr int kA = 38, kF8 = 74;

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

struct Counts {
    long moves = 0, buttons = 0, keys = 0;
    long Total() const { return moves + buttons + keys; }
};

// The top of a band 20 pixels high beside the program's own window, whose clicks are not
// recorded by design; a user records what happens in other windows.
int BandBeside(pid_t program) {
    const Window window = program > 0 ? FindWindowOfPid(program) : None;
    if (window == None) return 100;
    const FrameRect frame = WindowFrame(window);
    return frame.y >= 40 ? 10 : frame.y + frame.height + 10;
}

// Moves at 1 kHz; every 100 ms a right click and a key press add four more events. Returns
// the events that must be recorded.
Counts InjectInput(PhysicalInput* input, double seconds, int bandTop = 100) {
    Counts injected;
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    const long moves = long(seconds * 1000.0);
    for (long i = 0; i < moves; ++i) {
        Advance(at, 1000000);
        SleepUntil(at);
        PhysicalMoveTo(input, 100 + int(i % 800), bandTop + int((i / 800) % 20));
        ++injected.moves;
        if (i % 100 == 50) {
            PhysicalClick(input, 3);
            PhysicalTap(input, kA);
            injected.buttons += 2;
            injected.keys += 2;
        }
    }
    return injected;
}

// The hand goes to where the recording starts, as a user's does before pressing the hotkey.
// Returns the moves it made.
long ReachForTheStart(PhysicalInput* input) {
    constexpr int kSteps = 20;
    for (int step = 0; step < kSteps; ++step) {
        PhysicalMoveTo(input, 50 + step, 50 + step);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kSteps;
}

void MeasureStarted(PhysicalInput* input, double seconds, const char* load) {
    StartedQuillon program;
    if (!StartQuillon(program, {})) return;
    ReachForTheStart(input);
    PhysicalTap(input, kF8);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the recording has begun
    const Counts injected = InjectInput(input, seconds, BandBeside(program.pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    PhysicalTap(input, kF8);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    StopQuillon(program);
    Counts recorded;
    for (const UnifiedEvent& e : SavedRecording(program)) {
        recorded.moves += e.type == kEventAbsoluteMove;
        recorded.buttons += e.type == kEventButton;
        recorded.keys += e.type == kEventKey;
    }
    std::printf(
        "record_rate (%s): injected=%ld recorded=%ld lost=%ld (moves %ld, buttons %ld, keys "
        "%ld)\n",
        load, injected.Total(), recorded.Total(), injected.Total() - recorded.Total(),
        injected.moves - recorded.moves, injected.buttons - recorded.buttons,
        injected.keys - recorded.keys);
    std::fflush(stdout);
}

void MeasureEngineAlone(PhysicalInput* input, double seconds, const char* load) {
    int childOut = -1;
    const pid_t child = StartEngineChild(true, childOut);
    if (child < 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the recording has begun
    // Recorded too: the engines record from their start.
    const long injected = ReachForTheStart(input) + InjectInput(input, seconds).Total();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child, SIGTERM);
    const std::string report = ReadChildLine(childOut);
    waitpid(child, nullptr, 0);
    long recorded = 0;
    double p50 = 0, p99 = 0;
    if (std::sscanf(report.c_str(), "recorded=%ld p50_us=%lf p99_us=%lf", &recorded, &p50, &p99) !=
        3) {
        std::fprintf(stderr, "record_rate: no report from the engines\n");
        return;
    }
    std::printf(
        "engines alone (%s): injected=%ld recorded=%ld tap handling p50_us=%.0f p99_us=%.0f\n",
        load, injected, recorded, p50, p99);
    std::fflush(stdout);
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
    for (const bool loaded : {false, true}) {
        const char* load = loaded ? "a busy process on each core" : "idle";
        std::vector<pid_t> hogs;
        if (loaded) hogs = StartCpuHogs();
        MeasureStarted(input, seconds, load);
        MeasureEngineAlone(input, seconds, load);
        StopCpuHogs(hogs);
    }
    ClosePhysicalInput(input);
    StopPrivateXvfb(server);
    return 0;
}
