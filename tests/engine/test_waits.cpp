// Wake events and the interval wait, with real threads.
#include "state/tool_state.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class WaitsTest : public testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        g_AppRunning = true;
    }
    void TearDown() override {
        g_AppRunning = true;
        ResetToolStateForTest();
    }
};

TEST_F(WaitsTest, WakeBeforeWaitIsKeptAndTwoWakesCollapse) {
    WakeAutoClickThread();
    WakeAutoClickThread();
    IdleWait(g_AutoClickWake);  // returns at once: the wake was kept
    EXPECT_FALSE(g_AutoClickWake.flag.load());

    // The second wake was folded into the first, so the next wait blocks until woken again.
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        IdleWait(g_AutoClickWake);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    WakeAutoClickThread();
    waiter.join();
    EXPECT_TRUE(returned.load());
}

TEST_F(WaitsTest, IntervalWaitEndsOnWakeOrShutdownNotBefore) {
    // A long interval is cut short by a wake, and the wake is consumed.
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        WakeKeySpamThread();
    });
    const int64_t start = SteadyNowNs();
    WaitIntervalOrWake(g_KeySpamWake, 3600000.0);
    waker.join();
    EXPECT_LT(SteadyNowNs() - start, int64_t(30) * 1000000000);
    EXPECT_FALSE(g_KeySpamWake.flag.load());

    // Without a wake it never returns early.
    const int64_t shortStart = SteadyNowNs();
    WaitIntervalOrWake(g_KeySpamWake, 20.0);
    EXPECT_GE(SteadyNowNs() - shortStart, int64_t(20) * 1000000);

    // Clearing g_AppRunning and waking ends every wait, idle or interval.
    std::thread idle([] { IdleWait(g_SignalWake); });
    std::thread interval([] { WaitIntervalOrWake(g_AutoClickWake, 3600000.0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    g_AppRunning = false;
    WakeSignalProcessor();
    WakeAutoClickThread();
    idle.join();
    interval.join();
}

TEST(ToolInterval, SumsThePartsAndKeepsAtLeastOneMillisecond) {
    EXPECT_EQ(ToolIntervalMs(0, 0, 0, 0), 1);
    EXPECT_EQ(ToolIntervalMs(0, 0, 1, 500), 1500);
    EXPECT_EQ(ToolIntervalMs(1, 2, 3, 4), 3600000 + 120000 + 3000 + 4);
    EXPECT_EQ(ToolIntervalMs(0, 0, 0, -50), 1);
    EXPECT_EQ(ToolIntervalMs(0, 0, 1, -400), 600);
    // Settings at their extremes neither overflow nor wrap to a short interval.
    EXPECT_GE(ToolIntervalMs(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), 86400000);
    EXPECT_EQ(ToolIntervalMs(INT32_MIN, 0, 0, 0), 1);
}

// The schedule keeps its grid through small lateness and restarts after a stall.
TEST(ToolSchedule, KeepsTheGridAndNeverCatchesUpInABurst) {
    constexpr int64_t kMs = 1000000;
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

TEST(RecordClock, MeasuresFromTheMarkedStart) {
    MarkRecordStartTime();
    const double first = RecordElapsedSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double second = RecordElapsedSeconds();
    EXPECT_GE(first, 0.0);
    EXPECT_GE(second - first, 0.02);
}

}  // namespace
