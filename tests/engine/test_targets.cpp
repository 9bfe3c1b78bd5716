// Editing the key spammer's target list.
#include "engine/keyspammer.h"
#include "state/tool_state.h"

#include <gtest/gtest.h>

namespace {

class TargetsTest : public testing::Test {
protected:
    void SetUp() override { ResetToolStateForTest(); }
    void TearDown() override { ResetToolStateForTest(); }
    static std::vector<int> Targets() {
        std::vector<int> list;
        for (int i = 0; i < keySpamTargetCount; ++i) list.push_back(keySpamTargets[i]);
        return list;
    }
};

TEST_F(TargetsTest, AppendStopsAtThree) {
    AppendKeySpamTarget(65);
    AppendKeySpamTarget(66);
    AppendKeySpamTarget(67);
    EXPECT_EQ(Targets(), (std::vector<int>{32, 65, 66}));
    EXPECT_EQ(keySpamTargets[3], 0);
    EXPECT_EQ(vkKeySpamTarget, 32);
}

TEST_F(TargetsTest, RemoveShiftsLaterSlotsAndRefreshesTheFirst) {
    keySpamTargetCount = 0;
    AppendKeySpamTarget(65);
    AppendKeySpamTarget(66);
    AppendKeySpamTarget(67);
    RemoveKeySpamTarget(1);
    EXPECT_EQ(Targets(), (std::vector<int>{65, 67}));
    EXPECT_EQ(vkKeySpamTarget, 65);
    RemoveKeySpamTarget(0);
    EXPECT_EQ(Targets(), (std::vector<int>{67}));
    EXPECT_EQ(vkKeySpamTarget, 67);
    for (int bad : {-1, 1, 5}) RemoveKeySpamTarget(bad);
    EXPECT_EQ(Targets(), (std::vector<int>{67}));
}

TEST_F(TargetsTest, RemovingTheLastTargetStopsARunningSpammer) {
    isKeySpamming = true;
    RemoveKeySpamTarget(0);
    EXPECT_EQ(keySpamTargetCount, 0);
    EXPECT_EQ(vkKeySpamTarget, 32);  // keeps its old value
    EXPECT_TRUE(triggerKeySpamStop);
    EXPECT_TRUE(g_SignalWake.flag);

    ResetToolStateForTest();
    RemoveKeySpamTarget(0);  // not running: no stop request
    EXPECT_FALSE(triggerKeySpamStop);
}

}  // namespace
