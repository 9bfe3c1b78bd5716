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

// The schedule's grid is in traces/rules.trace; here the waits it is kept with.
TEST(ToolSchedule, WaitsNeverReturnBeforeTheirDeadline) {
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
