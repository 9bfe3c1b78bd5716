// Playback of the program users run: a user records key presses and releases 1 ms apart, plays
// them back with the play hotkey, and an independent XInput 2 listener times every replayed
// event against the recorded schedule. Each event's lateness is counted from the earliest
// event, so the figures say how far playback strays from the schedule, not when it began.
// The recorder's own fidelity (the user's events against their recorded times) and xdotool
// replaying the same kind of schedule (key down, sleep 1 ms, key up, ...) are printed beside
// it. CPU is the program's during the playback.
//
//   playback_timing [events]
#include "bench/started_program.h"
#include "state/tool_state.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <X11/extensions/XInput2.h>

#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <thread>

namespace {

constexpr int kF7 = 73, kF8 = 74;
constexpr int kShiftL = 50;  // a key that types nothing wherever the focus is

std::vector<int64_t> KeyStamps(Xi2Observer& observer, int sourceId) {
    std::vector<int64_t> stamps;
    for (const ObservedEvent& e : ObservedSnapshot(observer)) {
        const bool key = e.type == XI_RawKeyPress || e.type == XI_RawKeyRelease;
        if (key && e.sourceId == sourceId && e.detail == kShiftL) stamps.push_back(e.stampNs);
    }
    return stamps;
}

void SleepUntil(int64_t ns) {
    const timespec until{time_t(ns / 1000000000), long(ns % 1000000000)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

// The user's events, 1 ms apart on an absolute clock, between two presses of the record key.
void RecordAsTheUser(PhysicalInput* input, int events) {
    PhysicalTap(input, kF8);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int64_t start = MonotonicNs();
    for (int i = 0; i < events; ++i) {
        SleepUntil(start + int64_t(i) * 1000000);
        PhysicalKey(input, kShiftL, i % 2 == 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    PhysicalTap(input, kF8);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Lateness of each stamp against its scheduled offset, counted from the earliest event.
std::vector<double> LatenessMs(const std::vector<int64_t>& stamps,
                               const std::vector<double>& scheduleSeconds) {
    const size_t n = std::min(stamps.size(), scheduleSeconds.size());
    std::vector<double> offsets;
    double earliest = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < n; ++i) {
        offsets.push_back(double(stamps[i] - stamps[0]) / 1e6 -
                          (scheduleSeconds[i] - scheduleSeconds[0]) * 1e3);
        earliest = std::min(earliest, offsets.back());
    }
    for (double& offset : offsets) offset -= earliest;
    return offsets;
}

// xdotool given the same schedule as one command chain; its sleeps are relative, as a script's.
std::vector<double> PeerLatenessMs(Xi2Observer& observer, int events) {
    std::string command = "xdotool";
    for (int i = 0; i < events; ++i) {
        command +=
            std::string(i % 2 == 0 ? " keydown" : " keyup") + " --delay 0 Shift_L sleep 0.001";
    }
    ClearObserved(observer);
    if (RunCommand(command) != 0) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> schedule;
    for (int i = 0; i < events; ++i) schedule.push_back(i * 0.001);
    return LatenessMs(KeyStamps(observer, observer.xtestKeyboardId), schedule);
}

// The floor under any player: the same kind of events sent on an exact 1 ms clock from this
// process while nothing else runs, as the listener sees them.
std::vector<double> ExactSenderLatenessMs(Xi2Observer& observer, PhysicalInput* input, int events) {
    ClearObserved(observer);
    const int64_t start = MonotonicNs();
    std::vector<double> schedule;
    for (int i = 0; i < events; ++i) {
        SleepUntil(start + int64_t(i) * 1000000);
        PhysicalKey(input, kShiftL, i % 2 == 0);
        schedule.push_back(i * 0.001);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return LatenessMs(KeyStamps(observer, PhysicalKeyboardId(input)), schedule);
}

}  // namespace

int main(int argc, char** argv) {
    const int events = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    Xi2Observer observer;
    PhysicalInput* input = OpenPhysicalInput();
    if (!input || !StartObserver(observer)) return 1;
    RaiseJudge(observer.thread);
    StartedQuillon program;
    if (!StartQuillon(program, [] { bRecordMouseMovement = false; })) return 1;
    // The keys go where a user's would: to another program's window, not to ours.
    Probe target;
    if (!StartProbe(target, QLN_PROBE_WINDOW, 600, 100, 400, 300)) return 1;

    RecordAsTheUser(input, events);
    const std::vector<int64_t> userStamps = KeyStamps(observer, PhysicalKeyboardId(input));
    // What the program uses while it waits (its window and page included), for comparison.
    const double idleBefore = ProcessCpuSeconds(program.pid);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double idleCpu = (ProcessCpuSeconds(program.pid) - idleBefore) / 2.0;
    ClearObserved(observer);
    const double cpuBefore = ProcessCpuSeconds(program.pid);
    const int64_t wallBefore = MonotonicNs();
    PhysicalTap(input, kF7);
    const int64_t until = MonotonicNs() + int64_t(events) * 2000000 + 5000000000;
    while (KeyStamps(observer, observer.xtestKeyboardId).size() < size_t(events) &&
           MonotonicNs() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double cpu =
        (ProcessCpuSeconds(program.pid) - cpuBefore) / (double(MonotonicNs() - wallBefore) / 1e9);
    const std::vector<int64_t> played = KeyStamps(observer, observer.xtestKeyboardId);
    StopQuillon(program);
    StopProbe(target);

    std::vector<double> schedule;
    for (const UnifiedEvent& e : SavedRecording(program)) {
        if (e.type == kEventKey) schedule.push_back(e.time);
    }
    const std::vector<double> playback = LatenessMs(played, schedule);
    const std::vector<double> recorder = LatenessMs(userStamps, schedule);
    std::printf("recorder: events=%zu of %d p50_err_ms=%.3f p99_err_ms=%.3f\n", schedule.size(),
                events, Percentile(recorder, 0.5), Percentile(recorder, 0.99));
    const std::vector<double> floor = ExactSenderLatenessMs(observer, input, events);
    std::printf("x server path: events=%zu p50_err_ms=%.3f p99_err_ms=%.3f\n", floor.size(),
                Percentile(floor, 0.5), Percentile(floor, 0.99));
    const std::vector<double> peer = PeerLatenessMs(observer, std::min(events, 2000));
    std::printf("idle: cpu=%.3f\n", idleCpu);
    std::printf("xdotool: events=%zu p50_err_ms=%.3f p99_err_ms=%.3f\n", peer.size(),
                Percentile(peer, 0.5), Percentile(peer, 0.99));
    std::printf("playback_timing: events=%zu p50_err_ms=%.3f p99_err_ms=%.3f cpu=%.3f\n",
                playback.size(), Percentile(playback, 0.5), Percentile(playback, 0.99), cpu);
    StopObserver(observer);
    ClosePhysicalInput(input);
    StopPrivateXvfb(server);
    return playback.size() == size_t(events) ? 0 : 1;
}
