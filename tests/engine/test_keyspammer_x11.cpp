// The key spammer pressing keys for real.
#include "engine/keyspammer.h"
#include "platform/keys.h"
#include "state/tool_state.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/x11_state.h"

#include <thread>

namespace {

using KeySpammerX11 = EngineX11Test;

constexpr int kA = 65, kB = 66, kC = 67;

void SetTargets(std::initializer_list<int> vks) {
    keySpamTargetCount = 0;
    for (int vk : vks) AppendKeySpamTarget(vk);
}

// "A+ B+ A- B-" style trace of the synthetic key events seen so far.
std::string KeyTrace(const std::vector<ObservedEvent>& events) {
    std::string trace;
    for (const auto& e : events) {
        const int vk = OsKeyCodeToVk(e.detail);
        if (!trace.empty()) trace += ' ';
        trace += char(vk);
        trace += e.type == XI_RawKeyPress ? '+' : '-';
    }
    return trace;
}

TEST_F(KeySpammerX11, SequenceTakesTargetsInTurnAndContinuesAfterARestart) {
    SetTargets({kA, kB, kC});
    keySpamIntervalMs = 1;
    keySpamRepeatMode = 0;
    keySpamRepeatTimes = 5;
    RunToBudget(triggerKeySpamStart, XI_RawKeyPress, 5);
    // The budget's end releases every target once more.
    EXPECT_EQ(KeyTrace(Synthetic({XI_RawKeyPress, XI_RawKeyRelease})),
              "A+ A- B+ B- C+ C- A+ A- B+ B- A- B- C-");

    // The position survives the stop: the next run starts with C.
    keySpamRepeatTimes = 2;
    RunToBudget(triggerKeySpamStart, XI_RawKeyPress, 2);
    EXPECT_EQ(KeyTrace(Synthetic({XI_RawKeyPress, XI_RawKeyRelease})), "C+ C- A+ A- A- B- C-");
}

TEST_F(KeySpammerX11, ChordPressesAllThenReleasesAllInSlotOrder) {
    SetTargets({kA, kB});
    keySpamChordMode = true;
    keySpamRepeatMode = 0;
    keySpamRepeatTimes = 2;
    RunToBudget(triggerKeySpamStart, XI_RawKeyPress, 4);
    // The budget release posts one more key-up per target.
    EXPECT_EQ(KeyTrace(Synthetic({XI_RawKeyPress, XI_RawKeyRelease})),
              "A+ B+ A- B- A+ B+ A- B- A- B-");
    EXPECT_TRUE(ServerHeldKeys().empty());
}

TEST_F(KeySpammerX11, StoppingLeavesNoKeyHeld) {
    SetTargets({kA, kB, kC});
    keySpamChordMode = true;
    keySpamIntervalMs = 1;
    Raise(triggerKeySpam);
    ASSERT_TRUE(WaitUntil([] { return currentKeySpamCount > 20; }));
    Raise(triggerKeySpam);
    ASSERT_TRUE(WaitUntil([] { return !isKeySpamming && currentKeySpamCount == 0; }));
    ASSERT_TRUE(WaitUntil([] { return ServerHeldKeys().empty(); }));
    // The last event of every target is its release.
    const auto events = Synthetic({XI_RawKeyPress, XI_RawKeyRelease});
    for (int vk : {kA, kB, kC}) {
        int last = 0;
        for (const auto& e : events) {
            if (OsKeyCodeToVk(e.detail) == vk) last = e.type;
        }
        EXPECT_EQ(last, XI_RawKeyRelease) << char(vk);
    }
}

TEST_F(KeySpammerX11, RemovingTargetsWhileRunning) {
    SetTargets({kA, kB});
    keySpamIntervalMs = 2;
    Raise(triggerKeySpamStart);
    ASSERT_TRUE(WaitUntil([] { return currentKeySpamCount > 3; }));
    RemoveKeySpamTarget(0);
    ClearObserved(observer);
    ASSERT_TRUE(WaitUntil([&] { return Synthetic({XI_RawKeyPress}).size() >= 3; }));
    for (const auto& e : Synthetic({XI_RawKeyPress})) EXPECT_EQ(OsKeyCodeToVk(e.detail), kB);

    // Removing the last one stops the spammer through the signal processor.
    RemoveKeySpamTarget(0);
    ASSERT_TRUE(WaitUntil([] { return !isKeySpamming && currentKeySpamCount == 0; }));
    ASSERT_TRUE(WaitUntil([] { return ServerHeldKeys().empty(); }));
    ClearObserved(observer);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Synthetic({XI_RawKeyPress}).empty());
}

TEST_F(KeySpammerX11, TargetWithoutAKeyIsSkippedButCounts) {
    SetTargets({3, kA});  // VK 3 has no key
    keySpamRepeatMode = 0;
    keySpamRepeatTimes = 4;
    RunToBudget(triggerKeySpamStart, XI_RawKeyPress, 2);
    EXPECT_EQ(KeyTrace(Synthetic({XI_RawKeyPress})), "A+ A+");
}

}  // namespace
