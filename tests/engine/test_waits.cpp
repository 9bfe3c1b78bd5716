// Waits, the tool schedule and the recorder, with real threads. A wake cutting a long interval
// short, a stale one that must not cut the first, and the end of every wait at shutdown are seen
// in the engines' own tests, which a lost wake would stall.
#include "engine/recorder.h"
#include "engine/signals.h"
#include "state/tool_state.h"
#include "tests/support/fresh_state.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr int64_t kMs = 1000000;

TEST(ToolInterval, SumsThePartsAndKeepsAtLeastOneMillisecond) {
    struct Row {
        int32_t hours, mins, secs, ms;
        int64_t interval;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 1},   {0, 0, 1, 500, 1500}, {1, 2, 3, 4, 3600000 + 120000 + 3000 + 4},
        {0, 0, 0, -50, 1}, {0, 0, 1, -400, 600}, {INT32_MIN, 0, 0, 0, 1},
    };
    for (const Row& r : rows) EXPECT_EQ(ToolIntervalMs(r.hours, r.mins, r.secs, r.ms), r.interval);
    // Settings at their extremes neither overflow nor wrap to a short interval.
    EXPECT_GE(ToolIntervalMs(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), 86400000);
}

// The schedule keeps its grid through small lateness and restarts after a stall.
TEST(ToolSchedule, KeepsTheGridAndNeverCatchesUpInABurst) {
    struct Row {
        int64_t due, acted, interval, next;
    };
    const Row rows[] = {
        {10 * kMs, 10 * kMs, kMs, 11 * kMs},           // on time
        {10 * kMs, 10 * kMs + 200000, kMs, 11 * kMs},  // the action's own time is absorbed
        {10 * kMs, 14 * kMs, kMs, 15 * kMs},           // a stall: a whole interval after it
        {10 * kMs, 10 * kMs + 300000, 10 * kMs, 20 * kMs + 300000},
    };
    for (const Row& r : rows) EXPECT_EQ(NextDueNs(r.due, r.acted, r.interval), r.next);

    // A wait until a deadline never returns before it.
    const int64_t deadline = SteadyNowNs() + 5 * kMs;
    EXPECT_FALSE(WaitUntilOrWake(g_PlaybackWake, deadline));
    EXPECT_GE(SteadyNowNs(), deadline);
    const int64_t sleepTo = SteadyNowNs() + 2 * kMs;
    SleepUntilNs(sleepTo);
    EXPECT_GE(SteadyNowNs(), sleepTo);
}

// The tap appends while the signal processor ends the recording: once the list has been
// retimed, nothing may be added to it.
TEST(RecorderRace, NothingIsAppendedAfterTheRecordingWasRetimed) {
    for (int round = 0; round < 200; ++round) {
        ResetToOneDefaultProfile();
        triggerRecordStart = true;
        ProcessSignals();
        std::atomic<bool> stop{false};
        std::thread tap([&] {
            while (!stop.load()) {
                // As the tap does: a cheap test first, then the append re-checks under the lock.
                if (isRecording.load()) RecordEvent(UnifiedEvent{3, RecordElapsedSeconds() + 1.0});
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(200 + round * 10));
        triggerRecordStop = true;
        ProcessSignals();
        std::vector<UnifiedEvent> retimed;
        {
            std::lock_guard<std::mutex> lock(profileMutex);
            retimed = profiles[0].events;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        stop = true;
        tap.join();
        std::lock_guard<std::mutex> lock(profileMutex);
        ASSERT_TRUE(SameEventList(profiles[0].events, retimed)) << "round " << round;
        // A fresh recording starts at 0.
        ASSERT_TRUE(retimed.empty() || retimed.front().time == 0.0) << "round " << round;
        for (const auto& event : retimed) ASSERT_GE(event.time, 0.0);
    }
    ResetToolStateForTest();
}

}  // namespace
