// The auto clicker and the key spammer posting for real on a private X server; an independent
// observer and the server's own state are the judges.
#include "engine/keyspammer.h"
#include "tests/engine/engine_x11.h"

namespace {

constexpr int kA = 65, kB = 66, kC = 67;
constexpr int kMarker = 9;  // Esc, pressed by the user to mark a point in the observed events

class EnginesX11 : public EngineX11 {
protected:
    static bool Idle() {
        return !isAutoClicking && currentClickCount == 0 && !isKeySpamming &&
               currentKeySpamCount == 0;
    }

    // Everything the server did so far has reached the observer once a key of the user's that
    // came after it has.
    void CatchUp() {
        const auto markers = [&] { return ObservedCount(observer, XI_RawKeyRelease, 0, kMarker); };
        const auto before = markers();
        PhysicalTap(input, kMarker);
        ASSERT_TRUE(WaitUntil([&] { return markers() > before; }));
    }
    // Starts a tool with a click or tick budget and waits until it has made as many presses as
    // the expected trace holds and gone idle by itself.
    void RunToBudget(std::atomic<bool>& start, const std::string& posted) {
        const auto presses = size_t(std::count(posted.begin(), posted.end(), '+'));
        ClearObserved(observer);
        startedNs = MonotonicNs();
        RaiseRequest(start);
        EXPECT_TRUE(WaitUntil([&] { return !start && Posted(true).size() >= presses && Idle(); }));
        // Anything more would be a fault; give it time to show up, then let it arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        CatchUp();
    }

    int64_t startedNs = 0;  // when the last run was asked for
};

// A fixed point moves the pointer before every click; any other mode leaves it where the user
// put it.
TEST_F(EnginesX11, AutoClickerBudgetsButtonsPlacesAndDoubleClicks) {
    struct Run {
        int button, clickType, times, location;
        const char* posted;  // with a fixed point, the presses only
    };
    const Run runs[] = {
        {0, 0, 7, 0, "1+ 1- 1+ 1- 1+ 1- 1+ 1- 1+ 1- 1+ 1- 1+ 1-"},
        {1, 0, 2, 0, "3+ 3- 3+ 3-"},
        {2, 0, 2, 0, "2+ 2- 2+ 2-"},
        {3, 0, 2, 0, ""},  // anything above two clicks nothing, but its ticks count the budget
        {0, 0, 0, 0, ""},  // a budget of none stops at once
        {0, 0, 3, 1, "1+ 1+ 1+"},
        {0, 1, 1, 0, "1+ 1- 1+ 1-"},
    };
    autoClickIntervalMs = 1;
    autoClickRepeatMode = 0;
    autoClickFixedX = 321;
    autoClickFixedY = 234;
    for (const Run& run : runs) {
        SCOPED_TRACE(testing::Message() << "button " << run.button << " type " << run.clickType);
        PhysicalMoveTo(input, 40, 50);
        autoClickerButtonIdx = run.button;
        autoClickClickType = run.clickType;
        autoClickRepeatTimes = run.times;
        autoClickLocationMode = run.location;
        RunToBudget(triggerAutoClickStart, run.posted);
        if (!run.location) {
            EXPECT_EQ(Trace(), run.posted);
        }
        EXPECT_EQ(ServerPointer(),
                  run.location ? std::make_pair(321, 234) : std::make_pair(40, 50));
    }
    // The double click's pairs are 15 ms apart. Lower bounds count from before the start, as
    // a busy machine only delays what is seen; the upper bound is ten times the gap.
    const auto events = Posted();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_GE(events[2].stampNs - startedNs, 15 * kMs);
    EXPECT_LT(long(events[2].serverMs - events[1].serverMs), 150);
}

TEST_F(EnginesX11, KeySpammerBudgetsSequencesAndChords) {
    struct Run {
        std::vector<int> targets;  // none: keep the targets and the position
        bool chord;
        int times;
        const char* posted;
    };
    // The budget's end releases every target once more.
    const Run runs[] = {
        {{kA, kB, kC}, false, 5, "A+ A- B+ B- C+ C- A+ A- B+ B- A- B- C-"},
        {{}, false, 2, "C+ C- A+ A- A- B- C-"},  // the position survives the stop
        {{kA, kB}, true, 2, "A+ B+ A- B- A+ B+ A- B- A- B-"},
        {{3, kA}, false, 4, "A+ A- A+ A- A-"},  // VK 3 has no key: skipped, but it counts
    };
    keySpamIntervalMs = 1;
    keySpamRepeatMode = 0;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.posted);
        if (!run.targets.empty()) keySpamTargetCount = 0;
        for (int vk : run.targets) AppendKeySpamTarget(vk);
        keySpamChordMode = run.chord;
        keySpamRepeatTimes = run.times;
        RunToBudget(triggerKeySpamStart, run.posted);
        EXPECT_EQ(Trace(), run.posted);
        EXPECT_TRUE(ServerHeldKeys().empty());
    }
}

TEST_F(EnginesX11, TheIntervalRunsBetweenClicksFromTheFirstOn) {
    // A wake left from before the run reaches a thread that has just been started; it must not
    // cut the first interval short.
    StopToolsForExit();
    WakeAndJoinWorkers();
    g_AppRunning = true;
    autoClickIntervalMs = 120;
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = 3;
    isAutoClicking = true;
    g_AutoClickWake.flag = true;
    const int64_t started = MonotonicNs();
    StartToolThreads();
    ASSERT_TRUE(WaitUntil([&] { return Posted(true).size() == 3; }));
    // Counted from before the start, so that a busy machine can only make them later.
    const auto presses = Posted(true);
    EXPECT_GE(presses[1].stampNs - started, 120 * kMs);
    EXPECT_GE(presses[2].stampNs - started, 2 * 120 * kMs);
}

TEST_F(EnginesX11, StoppingLeavesNothingHeldAndEndsALongIntervalAtOnce) {
    // Buttons held by this layer (as a drag would) are tracked and let go when the clicker stops.
    autoClickerButtonIdx = 1;
    autoClickIntervalHours = 1;
    RaiseRequest(triggerAutoClickStart);
    ASSERT_TRUE(WaitUntil([] { return currentClickCount == 1; }));
    OsMouseButton(0, true, 1);
    OsMouseButton(2, true, 1);
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons().size() == 2; }));
    RaiseRequest(triggerAutoClicker);
    // The stop wakes the thread out of its hour-long wait: it goes idle and resets its count.
    ASSERT_TRUE(WaitUntil(Idle));
    ASSERT_TRUE(WaitUntil([] { return ServerHeldButtons().empty(); }));
    EXPECT_EQ(g_HeldButtons.load(), 0u);

    // A key spammer stopped mid-chord leaves every target's last event a release.
    keySpamTargetCount = 0;
    for (int vk : {kA, kB, kC}) AppendKeySpamTarget(vk);
    keySpamChordMode = true;
    keySpamIntervalMs = 1;
    RaiseRequest(triggerKeySpam);
    ASSERT_TRUE(WaitUntil([] { return currentKeySpamCount > 20; }));
    RaiseRequest(triggerKeySpam);
    ASSERT_TRUE(WaitUntil(Idle));
    ASSERT_TRUE(WaitUntil([] { return ServerHeldKeys().empty(); }));
    CatchUp();
    const std::string trace = Trace();
    for (char target : {'A', 'B', 'C'}) EXPECT_EQ(trace[trace.rfind(target) + 1], '-') << target;
}

TEST_F(EnginesX11, RemovingTargetsWhileRunning) {
    keySpamTargetCount = 0;
    for (int vk : {kA, kB}) AppendKeySpamTarget(vk);
    keySpamIntervalMs = 2;
    RaiseRequest(triggerKeySpamStart);
    ASSERT_TRUE(WaitUntil([] { return currentKeySpamCount > 3; }));
    // Only the tick that read A before the removal may still post it.
    RemoveKeySpamTarget(0);
    CatchUp();
    ClearObserved(observer);
    ASSERT_TRUE(WaitUntil([&] { return Posted(true).size() >= 4; }));
    const std::string trace = Trace();
    EXPECT_LE(std::count(trace.begin(), trace.end(), 'A'), 2) << trace;
}

}  // namespace
