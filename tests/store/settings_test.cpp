#include "app/state.h"
#include "store/profiles.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.push_back(MacroProfile{kDefaultProfileName, "", {}});
    }
    void TearDown() override { ResetToolStateForTest(); }
    std::string ActiveSettings() {
        std::lock_guard<std::mutex> lock(profileMutex);
        return profiles[static_cast<size_t>(currentProfileIdx)].settings;
    }
};

const char kDefaultSettingsJson[] =
    "{\"sh\":0,\"sm\":0,\"ss\":0,\"sms\":5,\"sbtn\":0,\"stype\":0,\"rptMode\":1,\"rptTimes\":10,"
    "\"locMode\":0,\"fixedX\":0,\"fixedY\":0,\"tmv\":true,\"tclk\":true,\"tscr\":true,"
    "\"tkey\":true,\"trel\":false,\"tspd\":1,\"tloop\":false,\"tloopMs\":500,\"ksh\":0,"
    "\"ksm\":0,\"kss\":0,\"ksms\":5,\"ksRptMode\":1,\"ksRptTimes\":10,\"holdAuto\":false,"
    "\"holdKeySpam\":false}";

const char kDefaultFullLine[] =
    "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,0,0,0,121";
const char kDefaultProfileLine[] = "0,0,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,32,0";

}  // namespace

TEST_F(Settings, JsonOfTheDefaultsHasEveryMemberInOrder) {
    EXPECT_EQ(BuildSettingsJson(), kDefaultSettingsJson);
}

TEST_F(Settings, JsonWritesPlaybackSpeedAndNegativesAsTheStreamWould) {
    fPlaybackSpeed = 0.5f;
    EXPECT_NE(BuildSettingsJson().find("\"tspd\":0.5,"), std::string::npos);
    fPlaybackSpeed = 1.25f;
    EXPECT_NE(BuildSettingsJson().find("\"tspd\":1.25,"), std::string::npos);
    fPlaybackSpeed = 1.0f / 3.0f;
    EXPECT_NE(BuildSettingsJson().find("\"tspd\":0.333333,"), std::string::npos);
    ApplySpammerUpdate("-1,0,0,-5,0,0,1,-10,0");
    EXPECT_EQ(BuildSettingsJson().substr(0, 16), "{\"sh\":-1,\"sm\":0,");
    EXPECT_NE(BuildSettingsJson().find("\"sms\":-5,"), std::string::npos);
    EXPECT_NE(BuildSettingsJson().find("\"rptTimes\":-10,"), std::string::npos);
}

TEST_F(Settings, AutoClickerRecordAppliesAndSnapshotsTheProfile) {
    ApplySpammerUpdate("0,0,1,0,1,1,0,50,1");
    EXPECT_EQ(autoClickIntervalSecs, 1);
    EXPECT_EQ(autoClickIntervalMs, 0);
    EXPECT_EQ(autoClickerButtonIdx, 1);
    EXPECT_EQ(autoClickClickType, 1);
    EXPECT_EQ(autoClickRepeatMode, 0);
    EXPECT_EQ(autoClickRepeatTimes, 50);
    EXPECT_EQ(autoClickLocationMode, 1);
    EXPECT_EQ(ActiveSettings(), SerializeProfileSettings());
    // Extra fields are ignored.
    ApplySpammerUpdate("0,0,2,0,1,1,0,50,1,99,x");
    EXPECT_EQ(autoClickIntervalSecs, 2);
}

TEST_F(Settings, ShortOrBrokenRecordsStopWhereTheyMust) {
    ApplySpammerUpdate("0,0,1,0,1,1,0,50");  // eight fields
    EXPECT_EQ(autoClickIntervalSecs, 0);
    EXPECT_EQ(autoClickIntervalMs, 5);
    EXPECT_EQ(ActiveSettings(), "");
    ApplySpammerUpdate("7,8,x,0,1,1,0,50,1");
    EXPECT_EQ(autoClickIntervalHours, 7);
    EXPECT_EQ(autoClickIntervalMins, 8);
    EXPECT_EQ(autoClickIntervalSecs, 0);
    EXPECT_EQ(autoClickerButtonIdx, 0);
    EXPECT_EQ(ActiveSettings(), "") << "a broken record takes no snapshot";
    ApplySpammerUpdate("1,2,3,4,5,6,7,2147483648,9");
    EXPECT_EQ(autoClickClickType, 6);
    EXPECT_EQ(autoClickRepeatTimes, 10);
    ApplyKeySpamUpdate("1,2,3,4,0,7");
    EXPECT_EQ(keySpamIntervalHours, 1);
    EXPECT_EQ(keySpamIntervalMs, 4);
    EXPECT_EQ(keySpamRepeatMode, 0);
    EXPECT_EQ(keySpamRepeatTimes, 7);
    EXPECT_EQ(ActiveSettings(), SerializeProfileSettings());
    ApplyKeySpamUpdate("9,9,9,9,9");
    EXPECT_EQ(keySpamIntervalHours, 1);
}

TEST_F(Settings, LinesOfTheDefaults) {
    EXPECT_EQ(SerializeSettings(), kDefaultFullLine);
    EXPECT_EQ(SerializeProfileSettings(), kDefaultProfileLine);
    keySpamTargetCount = 0;
    EXPECT_EQ(SerializeKeySpamTargetList(), "");
    EXPECT_EQ(SerializeProfileSettings(), "0,0,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,,0");
}

TEST_F(Settings, FullLineRoundTripsEveryField) {
    const std::string line =
        "1,2,3,4,2,1,0,77,1,-300,400,0,1,0,1,1,2.5,1,250,65,66,0,67,5,6,7,8,0,99,68,69,"
        "69|70|71,1,1,1,72";
    DeserializeSettings(line);
    EXPECT_EQ(SerializeSettings(), line);
    EXPECT_EQ(autoClickFixedX, -300);
    EXPECT_EQ(fPlaybackSpeed, 2.5f);
    EXPECT_EQ(vkUnlock, 72);
    EXPECT_EQ(keySpamTargetCount, 3);
    EXPECT_TRUE(keySpamChordMode);
    const std::string profileLine = "9,8,7,6,1,0,1,3,0,10,20,1,1,1,1,0,5,88,88|89,1";
    DeserializeProfileSettings(profileLine);
    EXPECT_EQ(SerializeProfileSettings(), profileLine);
}

TEST_F(Settings, FullLineOlderLayoutsByFieldCount) {
    // 23 fields: auto clicker, recorder and three hotkeys; the key spammer keeps its timing
    // and its list becomes the single first target.
    keySpamIntervalMs = 33;
    vkKeySpamTarget = 70;
    keySpamTargets[1] = 71;
    keySpamTargetCount = 2;
    keySpamChordMode = true;
    DeserializeSettings("1,2,3,4,1,1,0,9,1,5,6,0,0,0,0,1,2,1,100,10,11,0,12");
    EXPECT_EQ(autoClickIntervalHours, 1);
    EXPECT_EQ(autoClickFixedY, 6);
    EXPECT_FALSE(bRecordMouseMovement);
    EXPECT_TRUE(bUseRelativeMouse);
    EXPECT_EQ(fPlaybackSpeed, 2.0f);
    EXPECT_EQ(iLoopIntervalMs, 100);
    EXPECT_EQ(vkRecord, 10);
    EXPECT_EQ(vkPlay, 11);
    EXPECT_EQ(vkAutoClicker, 12);
    EXPECT_EQ(keySpamIntervalMs, 33);
    EXPECT_EQ(keySpamTargetCount, 1);
    EXPECT_EQ(keySpamTargets[0], 70);
    EXPECT_FALSE(keySpamChordMode);
    // 22 fields change nothing.
    DeserializeSettings("9,9,9,9,9,9,9,9,9,9,9,1,1,1,1,1,1,1,1,1,1,1");
    EXPECT_EQ(autoClickIntervalHours, 1);
    // 35 fields: everything but the unlock key.
    DeserializeSettings(
        "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32|33,1,1,"
        "1");
    EXPECT_EQ(keySpamTargetCount, 2);
    EXPECT_TRUE(keySpamChordMode);
    EXPECT_TRUE(g_HoldModeAuto);
    EXPECT_TRUE(g_HoldModeKeySpam);
    EXPECT_EQ(vkUnlock, 121);
    vkUnlock = 50;
    DeserializeSettings(kDefaultFullLine);
    EXPECT_EQ(vkUnlock, 121);
}

TEST_F(Settings, FullLineStopsAtTheFirstBadFieldOfEachGroup) {
    // Group 1 ends at the speed, so the loop flag and the hotkeys stay; group 2 still reads.
    DeserializeSettings(
        "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,fast,1,9,9,9,0,9,4,4,4,4,4,4,44,45,45,0,0,0,46");
    EXPECT_EQ(autoClickFixedY, 1);
    EXPECT_FALSE(bRecordKeyboard);
    EXPECT_EQ(fPlaybackSpeed, 1.0f);
    EXPECT_FALSE(bLoopSequence);
    EXPECT_EQ(vkRecord, 119);
    EXPECT_EQ(keySpamIntervalHours, 4);
    EXPECT_EQ(vkKeySpamHotkey, 44);
    EXPECT_EQ(vkKeySpamTarget, 45);
    EXPECT_EQ(vkUnlock, 46);
    // A bad hotkey in group 2 leaves the first target unset; a bad unlock key is skipped.
    DeserializeSettings(
        "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,x,117,3,3,3,3,3,3,F9,60,60,0,0,0,u");
    EXPECT_EQ(keySpamIntervalHours, 3);
    EXPECT_EQ(vkKeySpamHotkey, 44);
    EXPECT_EQ(vkKeySpamTarget, 45);
    EXPECT_EQ(keySpamTargets[0], 60);
    EXPECT_EQ(vkUnlock, 46);
    EXPECT_EQ(vkAutoClicker, 117) << "the skipped field 22 may hold anything";
}

TEST_F(Settings, TargetListKeepsThreeNumbers) {
    DeserializeKeySpamTargetList("65|x|66|67|68");
    EXPECT_EQ(keySpamTargetCount, 3);
    EXPECT_EQ(SerializeKeySpamTargetList(), "65|66|67");
    DeserializeKeySpamTargetList("x|");
    EXPECT_EQ(keySpamTargetCount, 0);
    EXPECT_EQ(SerializeKeySpamTargetList(), "");
    DeserializeKeySpamTargetList(" 7junk");
    EXPECT_EQ(SerializeKeySpamTargetList(), "7");
}

TEST_F(Settings, ProfileLineOlderLayoutsAndBadFields) {
    keySpamTargets[1] = 66;
    keySpamTargetCount = 2;
    keySpamChordMode = true;
    // 18 fields: one target, chord off.
    DeserializeProfileSettings("1,2,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70");
    EXPECT_EQ(autoClickIntervalHours, 1);
    EXPECT_EQ(keySpamTargetCount, 1);
    EXPECT_EQ(keySpamTargets[0], 70);
    EXPECT_FALSE(keySpamChordMode);
    // 17 fields: nothing.
    DeserializeProfileSettings("9,2,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10");
    EXPECT_EQ(autoClickIntervalHours, 1);
    // A bad field stops there and leaves the targets alone.
    DeserializeProfileSettings("5,6,x,4,0,0,1,10,0,0,0,0,0,0,5,1,10,80,80|81,1");
    EXPECT_EQ(autoClickIntervalHours, 5);
    EXPECT_EQ(autoClickIntervalMins, 6);
    EXPECT_EQ(autoClickIntervalSecs, 3);
    EXPECT_EQ(keySpamTargets[0], 70);
    DeserializeProfileSettings("5,6,0,4,0,0,1,10,0,0,0,0,0,0,5,1,10,bad,80|81,1");
    EXPECT_EQ(keySpamTargetCount, 1);
    EXPECT_EQ(vkKeySpamTarget, 70);
}

TEST_F(Settings, ResetRestoresToolDefaultsOnly) {
    DeserializeSettings(
        "1,2,3,4,2,1,0,77,1,-300,400,0,1,0,1,1,2.5,1,250,65,66,0,67,5,6,7,8,0,99,68,69,"
        "69|70|71,1,1,1,72");
    ResetSpammerKeySpamDefaults();
    EXPECT_EQ(SerializeProfileSettings(), kDefaultProfileLine);
    EXPECT_EQ(vkRecord, 65);
    EXPECT_EQ(fPlaybackSpeed, 2.5f);
    EXPECT_EQ(vkKeySpamHotkey, 68);
}
