// Retiming of finished and appended recordings.
#include "engine/recorder.h"

#include <gtest/gtest.h>

namespace {

UnifiedEvent Press(double time, uint64_t flags) {
    return UnifiedEvent{2, time, 10, 10, flags, 0, false, 0};
}
UnifiedEvent Key(double time) { return UnifiedEvent{3, time, 0, 0, 0, 65, true, 0}; }

constexpr uint64_t kLeftDown = 2, kLeftUp = 4, kRightDown = 8;

TEST(Retime, FreshRecordingStartsAtZero) {
    std::vector<UnifiedEvent> list = {Key(2.5), Key(3.0), Key(2.75)};
    RetimeRecordedEvents(list, 0, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(list[0].time, 0.0);
    EXPECT_DOUBLE_EQ(list[1].time, 0.5);
    EXPECT_DOUBLE_EQ(list[2].time, 0.25);
}

TEST(Retime, AppendedBlockStartsAGapAfterTheOldEvents) {
    std::vector<UnifiedEvent> list = {Key(4.0), Key(10.0), Key(3.0), Key(3.5)};
    RetimeRecordedEvents(list, 2, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(list[0].time, 4.0);
    EXPECT_DOUBLE_EQ(list[1].time, 10.0);
    EXPECT_DOUBLE_EQ(list[2].time, 10.1);
    EXPECT_DOUBLE_EQ(list[3].time, 10.6);
}

TEST(Retime, SameButtonAcrossTheJoinIsNeverADoubleClick) {
    // Left click at 10.0, new block begins with a left click: held 0.55 s apart.
    std::vector<UnifiedEvent> same = {Press(10.0, kLeftDown), Press(10.0, kLeftUp),
                                      Press(1.0, kLeftDown), Press(1.2, kLeftUp)};
    RetimeRecordedEvents(same, 2, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(same[2].time, 10.55);
    EXPECT_DOUBLE_EQ(same[3].time, 10.75);

    // A different button first in the new block keeps the plain gap.
    std::vector<UnifiedEvent> other = {Press(10.0, kLeftDown), Press(1.0, kRightDown)};
    RetimeRecordedEvents(other, 1, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(other[1].time, 10.1);

    // The guard compares the last old press with the first new press, not the first events.
    std::vector<UnifiedEvent> later = {Press(10.0, kLeftDown), Key(11.0), Key(1.0),
                                       Press(1.2, kLeftDown)};
    RetimeRecordedEvents(later, 2, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(later[2].time, 11.1);
    EXPECT_DOUBLE_EQ(later[3].time, 11.3);  // 1.3 s after the old press: far enough
}

TEST(Retime, NothingAddedChangesNothing) {
    std::vector<UnifiedEvent> list = {Key(4.0), Key(5.0)};
    RetimeRecordedEvents(list, 2, 0.1, 0.55);
    EXPECT_DOUBLE_EQ(list[0].time, 4.0);
    EXPECT_DOUBLE_EQ(list[1].time, 5.0);
    std::vector<UnifiedEvent> empty;
    RetimeRecordedEvents(empty, 0, 0.1, 0.55);
    EXPECT_TRUE(empty.empty());
}

}  // namespace

#include "engine/signals.h"
#include "state/tool_state.h"
#include "tests/support/fresh_state.h"

#include <thread>

namespace {

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
        if (!retimed.empty()) {
            ASSERT_EQ(retimed.front().time, 0.0);
            for (const auto& event : retimed) ASSERT_GE(event.time, 0.0);
        }
    }
    ResetToolStateForTest();
}

}  // namespace
