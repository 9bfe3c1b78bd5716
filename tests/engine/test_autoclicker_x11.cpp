// The auto clicker clicking for real; the observer and the server's own state are the judges.
#include "engine/workers.h"
#include "platform/input.h"
#include "state/tool_state.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/x11_state.h"

#include <thread>

namespace {

using AutoClickerX11 = EngineX11Test;

TEST_F(AutoClickerX11, BudgetMakesExactlyThatManyClicksThenStops) {
    autoClickIntervalMs = 1;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 7;
    RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 7);
    const auto events = Synthetic({XI_RawButtonPress, XI_RawButtonRelease});
    ASSERT_EQ(events.size(), 14u);
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].type, i % 2 == 0 ? XI_RawButtonPress : XI_RawButtonRelease);
        EXPECT_EQ(events[i].detail, 1);
        EXPECT_EQ(events[i].sourceId, observer.xtestPointerId);
    }

    // A budget of 0 clicks stops at once without clicking.
    ClearObserved(observer);
    autoClickRepeatTimes = 0;
    Raise(triggerAutoClickStart);
    ASSERT_TRUE(WaitUntil([] { return !isAutoClicking; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Synthetic({XI_RawButtonPress}).empty());
}

TEST_F(AutoClickerX11, ButtonsMapToTheirXButtonsAndAnythingAboveTwoClicksNothing) {
    const std::pair<int, int> cases[] = {{0, 1}, {1, 3}, {2, 2}};
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 2;
    for (const auto& [index, xButton] : cases) {
        autoClickerButtonIdx = index;
        RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 2);
        const auto presses = Synthetic({XI_RawButtonPress});
        ASSERT_EQ(presses.size(), 2u) << "button index " << index;
        EXPECT_EQ(presses[0].detail, xButton);
    }
    ClearObserved(observer);
    autoClickerButtonIdx = 3;
    Raise(triggerAutoClickStart);
    ASSERT_TRUE(WaitUntil([] { return !isAutoClicking; }));  // ticks still count the budget
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Synthetic({XI_RawButtonPress}).empty());
}

TEST_F(AutoClickerX11, DoubleClickIsTwoPairsFifteenMillisecondsApart) {
    autoClickClickType = 1;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 1;
    RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 2);
    const auto events = Synthetic({XI_RawButtonPress, XI_RawButtonRelease});
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].type, XI_RawButtonPress);
    EXPECT_EQ(events[1].type, XI_RawButtonRelease);
    EXPECT_EQ(events[2].type, XI_RawButtonPress);
    EXPECT_EQ(events[3].type, XI_RawButtonRelease);
    // The wait never ends early (the server's clock counts whole milliseconds); the upper
    // bound is ten times the gap.
    const long gapMs = long(events[2].serverMs - events[1].serverMs);
    EXPECT_GE(gapMs, 14);
    EXPECT_LT(gapMs, 150);
}

TEST_F(AutoClickerX11, FixedPointMovesThePointerBeforeEveryClick) {
    HarnessWarpPointer(10, 20);
    autoClickLocationMode = 1;
    autoClickFixedX = 321;
    autoClickFixedY = 234;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 3;
    RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 3);
    int x = 0, y = 0;
    ASSERT_TRUE(ServerPointerPosition(x, y));
    EXPECT_EQ(x, 321);
    EXPECT_EQ(y, 234);

    // Any other mode leaves the pointer where the user put it.
    HarnessWarpPointer(40, 50);
    autoClickLocationMode = 0;
    RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 3);
    ASSERT_TRUE(ServerPointerPosition(x, y));
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 50);
}

TEST_F(AutoClickerX11, IntervalRunsBetweenClicks) {
    autoClickIntervalMs = 120;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 3;
    RunToBudget(triggerAutoClickStart, XI_RawButtonPress, 3);
    const auto presses = Synthetic({XI_RawButtonPress});
    ASSERT_EQ(presses.size(), 3u);
    EXPECT_GE(long(presses[2].serverMs - presses[0].serverMs), 2 * 120 - 1);
}

TEST_F(AutoClickerX11, AWakeLeftFromBeforeARunDoesNotCutItsFirstInterval) {
    // The start's wake reaches a thread that is not idle yet (it has just been started).
    StopToolsForExit();
    WakeAndJoinWorkers();
    g_AppRunning = true;
    autoClickIntervalMs = 120;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 2;
    isAutoClicking = true;
    g_AutoClickWake.flag = true;
    StartToolThreads();
    ASSERT_TRUE(WaitUntil([&] { return Synthetic({XI_RawButtonPress}).size() == 2; }));
    const auto presses = Synthetic({XI_RawButtonPress});
    EXPECT_GE(long(presses[1].serverMs - presses[0].serverMs), 120 - 1);
}

TEST_F(AutoClickerX11, StoppingLeavesNoButtonHeldAndEndsALongIntervalAtOnce) {
    // A button held by this layer (as a drag would) is let go when the clicker stops.
    autoClickerButtonIdx = 1;
    autoClickIntervalHours = 1;
    Raise(triggerAutoClickStart);
    ASSERT_TRUE(WaitUntil([] { return currentClickCount == 1; }));
    OsMouseButton(0, true, 1);
    OsMouseButton(2, true, 1);
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons().size() == 2; }));
    Raise(triggerAutoClicker);
    // The stop wakes the thread out of its hour-long wait: it goes idle and resets its count.
    ASSERT_TRUE(WaitUntil([] { return currentClickCount == 0; }));
    EXPECT_FALSE(isAutoClicking);
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons().empty(); }));
    EXPECT_EQ(g_HeldButtons.load(), 0u);
}

TEST_F(AutoClickerX11, HeldButtonsAreTrackedAndAMoveWhileHeldDrags) {
    OsMouseButton(0, true, 1);
    EXPECT_EQ(g_HeldButtons.load(), 1u);
    OsMoveMouseTo(100, 100);
    ASSERT_TRUE(WaitUntil([] {
        int x = 0, y = 0;
        return ServerPointerPosition(x, y) && x == 100 &&
               ServerHeldButtons() == std::vector<int>{1};
    }));
    OsMouseButton(5, true, 1);  // any other button is the middle one
    EXPECT_EQ(g_HeldButtons.load(), 5u);
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons() == std::vector<int>{1, 2}; }));
    OsMouseButton(5, false, 1);
    OsMouseButton(0, false, 1);
    EXPECT_EQ(g_HeldButtons.load(), 0u);
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons().empty(); }));
}

}  // namespace
