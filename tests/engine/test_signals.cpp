// The signal processor's fixed order, driven through the trigger flags as producers raise them.
#include "engine/signals.h"
#include "state/tool_state.h"
#include "tests/support/fresh_state.h"

#include <gtest/gtest.h>

namespace {

class SignalsTest : public testing::Test {
protected:
    void SetUp() override { ResetToOneDefaultProfile(); }
    void TearDown() override { ResetToolStateForTest(); }

    static std::vector<UnifiedEvent> ActiveEvents() {
        std::lock_guard<std::mutex> lock(profileMutex);
        return profiles[currentProfileIdx].events;
    }
};

TEST_F(SignalsTest, ToggleThenStartThenStopInOnePass) {
    // Toggle on and stop together: the stop comes after the toggle and wins.
    triggerAutoClicker = true;
    triggerAutoClickStop = true;
    ProcessSignals();
    EXPECT_FALSE(isAutoClicking);

    // Toggle on and start together: the start finds it running and does nothing more.
    triggerAutoClicker = true;
    triggerAutoClickStart = true;
    ProcessSignals();
    EXPECT_TRUE(isAutoClicking);

    // Toggle off and start together: the start runs it again in the same pass.
    triggerAutoClicker = true;
    triggerAutoClickStart = true;
    ProcessSignals();
    EXPECT_TRUE(isAutoClicking);
    EXPECT_TRUE(g_AutoClickWake.flag.load());

    // Every flag was consumed exactly once.
    EXPECT_FALSE(triggerAutoClicker || triggerAutoClickStart || triggerAutoClickStop);
}

TEST_F(SignalsTest, KeySpammerNeedsTargetsButIsAlwaysWoken) {
    keySpamTargetCount = 0;
    triggerKeySpam = true;
    ProcessSignals();
    EXPECT_FALSE(isKeySpamming);
    EXPECT_TRUE(g_KeySpamWake.flag.exchange(false));

    triggerKeySpamStart = true;
    ProcessSignals();
    EXPECT_FALSE(isKeySpamming);

    keySpamTargetCount = 1;
    triggerKeySpamStart = true;
    ProcessSignals();
    EXPECT_TRUE(isKeySpamming);
    triggerKeySpam = true;
    ProcessSignals();
    EXPECT_FALSE(isKeySpamming);
}

TEST_F(SignalsTest, ReassignmentStoresCapturedKeyOrCancelsOnEsc) {
    struct Case {
        int32_t code;
        int32_t key;
        std::atomic<int32_t>* target;
        int32_t expected;
    };
    const Case cases[] = {
        {kReassignRecord, 100, &vkRecord, 100},
        {kReassignPlay, 101, &vkPlay, 101},
        {kReassignAutoClicker, 116, &vkAutoClicker, 116},
        {kReassignKeySpamHotkey, 102, &vkKeySpamHotkey, 102},
        {kReassignUnlock, 103, &vkUnlock, 103},
        {kReassignAutoClicker, 27, &vkAutoClicker, 116},  // Esc cancels, binding unchanged
        {9, 104, &vkRecord, 100},                         // unknown code stores nothing
    };
    for (const Case& c : cases) {
        currentReassign = c.code;
        capturedReassignKey = c.key;
        ProcessSignals();
        EXPECT_EQ(c.target->load(), c.expected) << "code " << c.code << " key " << c.key;
        EXPECT_EQ(currentReassign, 0);
        EXPECT_EQ(capturedReassignKey, 0);
    }

    // A reassignment still waiting for its key is left alone.
    currentReassign = kReassignRecord;
    ProcessSignals();
    EXPECT_EQ(currentReassign, kReassignRecord);
}

TEST_F(SignalsTest, CapturedTargetIsAppendedOnlyBelowTheCap) {
    currentReassign = kReassignKeySpamTarget;
    capturedReassignKey = 65;
    ProcessSignals();
    EXPECT_EQ(keySpamTargetCount, 2);
    EXPECT_EQ(keySpamTargets[1], 65);

    currentReassign = kReassignKeySpamTarget;
    capturedReassignKey = 66;
    ProcessSignals();
    currentReassign = kReassignKeySpamTarget;
    capturedReassignKey = 67;
    ProcessSignals();
    EXPECT_EQ(keySpamTargetCount, 3);
    EXPECT_EQ(keySpamTargets[2], 66);
    EXPECT_EQ(keySpamTargets[3], 0);
    EXPECT_EQ(currentReassign, 0);
}

TEST_F(SignalsTest, EndingARecordingStopsTheToolsWithoutRecordingThatStop) {
    triggerRecord = true;
    ProcessSignals();
    ASSERT_TRUE(isRecording);
    triggerAutoClicker = true;
    triggerKeySpam = true;
    ProcessSignals();
    ASSERT_TRUE(isAutoClicking && isKeySpamming);

    triggerRecord = true;
    ProcessSignals();
    EXPECT_FALSE(isRecording);
    EXPECT_FALSE(isAutoClicking);
    EXPECT_FALSE(isKeySpamming);
    const auto events = ActiveEvents();
    ASSERT_EQ(events.size(), 2u);  // the two switch-ons, not the stops
    EXPECT_EQ(events[0].type, 5);
    EXPECT_EQ(events[0].key, 1);
    EXPECT_TRUE(events[0].down);
    EXPECT_EQ(events[1].key, 2);
    EXPECT_TRUE(events[1].down);
}

TEST_F(SignalsTest, ToolsKeepRunningWhenStopWithMacroIsOff) {
    g_StopToolsWithMacro = false;
    triggerRecord = true;
    ProcessSignals();
    triggerAutoClicker = true;
    ProcessSignals();
    triggerAutoClicker = true;
    ProcessSignals();
    triggerAutoClicker = true;
    ProcessSignals();
    triggerRecordStop = true;
    ProcessSignals();
    EXPECT_FALSE(isRecording);
    EXPECT_TRUE(isAutoClicking);
    const auto events = ActiveEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].down);
    EXPECT_FALSE(events[1].down);
    EXPECT_TRUE(events[2].down);
    EXPECT_LE(events[0].time, events[1].time);  // retimed: first at 0, order kept
    EXPECT_EQ(events[0].time, 0.0);
}

TEST_F(SignalsTest, PlaybackBlocksRecordingAndRecordingBlocksPlayback) {
    triggerRecord = true;
    ProcessSignals();
    triggerPlay = true;
    ProcessSignals();
    EXPECT_FALSE(triggerPlay);
    EXPECT_FALSE(isPlaying);
    triggerRecord = true;
    ProcessSignals();

    triggerAutoClickStart = true;
    triggerPlay = true;
    ProcessSignals();
    EXPECT_TRUE(isPlaying);
    EXPECT_TRUE(isAutoClicking);
    triggerRecord = true;
    triggerRecordStart = true;
    triggerRecordContinue = true;
    ProcessSignals();
    EXPECT_FALSE(isRecording);

    // Playback ending stops the tools in the same pass.
    triggerPlayStop = true;
    ProcessSignals();
    EXPECT_FALSE(isPlaying);
    EXPECT_FALSE(isAutoClicking);
}

TEST_F(SignalsTest, AppendingRecordingCanBeUndoneOnlyWhileUnchanged) {
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles[0].events = {UnifiedEvent{3, 0.0, 0, 0, 0, 65, true, 0},
                              UnifiedEvent{3, 0.5, 0, 0, 0, 65, false, 0}};
    }
    const auto before = ActiveEvents();
    triggerRecordContinue = true;
    ProcessSignals();
    ASSERT_TRUE(isRecording);
    triggerAutoClicker = true;
    ProcessSignals();
    triggerRecordStop = true;
    ProcessSignals();
    const auto after = ActiveEvents();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_DOUBLE_EQ(after[2].time, 0.6);  // 0.1 s after the last old event

    {
        std::lock_guard<std::mutex> lock(profileMutex);
        EXPECT_TRUE(CanUndoContinueLocked());
    }
    triggerUndoContinue = true;
    ProcessSignals();
    EXPECT_TRUE(SameEventList(ActiveEvents(), before));
    triggerUndoContinue = true;  // nothing left to undo
    ProcessSignals();
    EXPECT_TRUE(SameEventList(ActiveEvents(), before));

    // An edited profile cannot be undone.
    triggerRecordContinue = true;
    ProcessSignals();
    triggerRecordStop = true;
    ProcessSignals();
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles[0].events.pop_back();
        profiles[0].events.push_back(UnifiedEvent{3, 9.0, 0, 0, 0, 66, true, 0});
    }
    const auto edited = ActiveEvents();
    triggerUndoContinue = true;
    ProcessSignals();
    EXPECT_TRUE(SameEventList(ActiveEvents(), edited));
}

TEST_F(SignalsTest, FreshRecordingReplacesEventsAndForgetsUndo) {
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles[0].events = {UnifiedEvent{3, 0.0, 0, 0, 0, 65, true, 0}};
        g_ContinueUndoProfile = 0;
    }
    triggerRecordStart = true;
    ProcessSignals();
    EXPECT_TRUE(isRecording);
    EXPECT_TRUE(ActiveEvents().empty());
    std::lock_guard<std::mutex> lock(profileMutex);
    EXPECT_EQ(g_ContinueUndoProfile, -1);
}

}  // namespace
