#include "platform/keys.h"
#include "store/codecs.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "store/status.h"
#include "tests/store/store_env.h"

namespace {

using Settings = StoreTest;

std::string ActiveSettings() { return Profiles()[static_cast<size_t>(currentProfileIdx)].settings; }

const char kDefaultSettingsJson[] =
    "{\"sh\":0,\"sm\":0,\"ss\":0,\"sms\":5,\"sbtn\":0,\"stype\":0,\"rptMode\":1,\"rptTimes\":10,"
    "\"locMode\":0,\"fixedX\":0,\"fixedY\":0,\"tmv\":true,\"tclk\":true,\"tscr\":true,"
    "\"tkey\":true,\"trel\":false,\"tspd\":1,\"tloop\":false,\"tloopMs\":500,\"ksh\":0,"
    "\"ksm\":0,\"kss\":0,\"ksms\":5,\"ksRptMode\":1,\"ksRptTimes\":10,\"holdAuto\":false,"
    "\"holdKeySpam\":false}";

}  // namespace

TEST_F(Settings, JsonHasEveryMemberInOrderWithNumbersAsTheStreamWrites) {
    EXPECT_EQ(BuildSettingsJson(), kDefaultSettingsJson);
    fPlaybackSpeed = 1.0f / 3.0f;
    ApplySpammerUpdate("-1,0,0,-5,0,0,1,-10,0");
    for (const char* member :
         {"{\"sh\":-1,\"sm\":0,", "\"sms\":-5,", "\"rptTimes\":-10,", "\"tspd\":0.333333,"}) {
        EXPECT_NE(BuildSettingsJson().find(member), std::string::npos) << member;
    }
}

// Records from the page store field by field up to the first bad one; only a complete record
// is copied into the active profile.
TEST_F(Settings, ToolRecordsStopAtTheFirstBadFieldAndSnapshotOnlyWhenWhole) {
    struct Case {
        const char* record;
        bool keySpam;
        const char* profileLine;
        bool snapshot;
    };
    const Case cases[] = {
        {"0,0,1,0,1,1,0,50", false, kDefaultProfileLine, false},
        {"7,8,x,0,1,1,0,50,1", false, "7,8,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,32,0", false},
        {"1,2,3,4,5,6,7,2147483648,9", false, "1,2,3,4,5,6,7,10,0,0,0,0,0,0,5,1,10,32,32,0", false},
        {"1,2,3,4,0,7", true, "1,2,3,4,5,6,7,10,0,0,0,1,2,3,4,0,7,32,32,0", true},
        {"9,9,9,9,9", true, "1,2,3,4,5,6,7,10,0,0,0,1,2,3,4,0,7,32,32,0", true},
        {"0,0,1,0,1,1,0,50,1,99,x", false, "0,0,1,0,1,1,0,50,1,0,0,1,2,3,4,0,7,32,32,0", true},
    };
    for (const Case& c : cases) {
        c.keySpam ? ApplyKeySpamUpdate(c.record) : ApplySpammerUpdate(c.record);
        EXPECT_EQ(SerializeProfileSettings(), c.profileLine) << c.record;
        EXPECT_EQ(ActiveSettings(), c.snapshot ? c.profileLine : "") << c.record;
    }
}

// Each case loads a starting line, then the line under test, and compares what is written back.
TEST_F(Settings, LineLayoutsByFieldCountAndFirstBadFieldAndTargetLists) {
    const char* const kSingle = "1,2,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70,70,0";
    const struct {
        bool profile;
        std::string before;
        std::string line;
        std::string after;
    } cases[] = {
        {false, kDefaultFullLine, kEveryFieldLine, kEveryFieldLine},
        {false, kEveryFieldLine, kDefaultFullLine, kDefaultFullLine},
        // 23 fields: auto clicker, recorder and three hotkeys; the key spammer keeps its timing
        // and its list becomes the single first target.
        {false,
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,33,1,10,120,70,70|71,1,0,0,"
         "121",
         "1,2,3,4,1,1,0,9,1,5,6,0,0,0,0,1,2,1,100,10,11,0,12",
         "1,2,3,4,1,1,0,9,1,5,6,0,0,0,0,1,2,1,100,10,11,0,12,0,0,0,33,1,10,120,70,70,0,0,0,121"},
        // 22 fields change nothing.
        {false, kDefaultFullLine, "9,9,9,9,9,9,9,9,9,9,9,1,1,1,1,1,1,1,1,1,1,1", kDefaultFullLine},
        // 35 fields: everything but the unlock key.
        {false,
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,0,0,0,50",
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32|33,1,1,1",
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32|33,1,1,1,"
         "50"},
        // The first group ends at the bad speed, after the recorder flags; the second still reads.
        {false, kDefaultFullLine,
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,fast,1,9,9,9,0,9,4,4,4,4,4,4,44,45,45,0,0,0,46",
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,1,0,500,119,118,0,117,4,4,4,4,4,4,44,45,45,0,0,0,46"},
        // A speed too small for a float does not convert either; a hexadecimal one does.
        {false, kDefaultFullLine,
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,1e-40,1,9,9,9,0,9,4,4,4,4,4,4,44,45,45,0,0,0,46",
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,1,0,500,119,118,0,117,4,4,4,4,4,4,44,45,45,0,0,0,46"},
        {false, kDefaultFullLine,
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,0x1p1,1,9,9,9,0,9,4,4,4,4,4,4,44,45,45,0,0,0,46",
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,2,1,9,9,9,0,9,4,4,4,4,4,4,44,45,45,0,0,0,46"},
        // A bad hotkey ends the second group; field 22 may hold anything; a bad unlock key is
        // skipped.
        {false,
         "1,1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,1,0,500,119,118,0,117,4,4,4,4,4,4,44,45,45,0,0,0,46",
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,x,117,3,3,3,3,3,3,F9,60,60,0,0,0,u",
         "0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,3,3,3,3,3,3,44,45,60,0,0,0,46"},
        // Profile lines.
        {true, kDefaultProfileLine, "9,8,7,6,1,0,1,3,0,10,20,1,1,1,1,0,5,88,88|89,1",
         "9,8,7,6,1,0,1,3,0,10,20,1,1,1,1,0,5,88,88|89,1"},
        // 18 fields: one target, chord off; 17 fields: nothing.
        {true, "0,0,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,32|66,1",
         "1,2,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70", kSingle},
        {true, kSingle, "9,2,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10", kSingle},
        // A bad field stops there and leaves the targets alone.
        {true, kSingle, "5,6,x,4,0,0,1,10,0,0,0,0,0,0,5,1,10,80,80|81,1",
         "5,6,3,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70,70,0"},
        {true, kSingle, "5,6,0,4,0,0,1,10,0,0,0,0,0,0,5,1,10,bad,80|81,1",
         "5,6,0,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70,70,0"},
    };
    for (const auto& c : cases) {
        void (*const read)(const std::string&) =
            c.profile ? DeserializeProfileSettings : DeserializeSettings;
        read(c.before);
        read(c.line);
        EXPECT_EQ(c.profile ? SerializeProfileSettings() : SerializeSettings(), c.after) << c.line;
    }
    // At most three targets, bad pieces skipped, an empty list written as nothing.
    for (const auto& [list, written] :
         {std::pair{"65|x|66|67|68", "65|66|67"}, std::pair{"x|", ""}, std::pair{" 7junk", "7"}}) {
        DeserializeKeySpamTargetList(list);
        EXPECT_EQ(SerializeKeySpamTargetList(), written) << list;
    }
    EXPECT_EQ(SerializeProfileSettings(), "5,6,0,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70,7,0");
    DeserializeKeySpamTargetList("");
    EXPECT_EQ(SerializeProfileSettings(), "5,6,0,4,0,0,1,10,0,0,0,0,0,0,5,1,10,70,,0");
}

TEST_F(Settings, ResetRestoresToolDefaultsOnly) {
    DeserializeSettings(kEveryFieldLine);
    ResetSpammerKeySpamDefaults();
    EXPECT_EQ(SerializeProfileSettings(), kDefaultProfileLine);
    EXPECT_EQ(
        SerializeSettings(),
        "0,0,0,5,0,0,1,10,0,0,0,0,1,0,1,1,2.5,1,250,65,66,0,67,0,0,0,5,1,10,68,32,32,0,1,1,72");
}

// The status object the page polls: every member in order, each following the live state.
TEST_F(Settings, StatusFollowsTheLiveState) {
    std::string restore = "[]";
    const auto status = [&restore] {
        std::lock_guard<std::mutex> lock(profileMutex);
        return BuildTrackerStatusJson(restore);
    };
    const auto has = [&](const std::string& part) {
        return status().find(part) != std::string::npos;
    };
    const auto name = [](int vk) { return JsonEscapeForBind(GetKeyName(vk)); };
    EXPECT_EQ(name(119), "\"F8\"");
    // Resetting the hotkeys brings back the defaults, and saves no application settings.
    for (auto* key : {&vkRecord, &vkPlay, &vkAutoClicker, &vkKeySpamHotkey, &vkUnlock}) *key = 1;
    BindResetHotkeys();
    EXPECT_EQ(Slurp(GetAppSettingsFilePath()), "");
    EXPECT_EQ(status(), "{\"state\":\"Idle\",\"count\":0,\"restore\":[],\"hkRec\":" + name(119) +
                            ",\"hkPlay\":" + name(118) + ",\"hkAuto\":" + name(117) +
                            ",\"hkKeySpam\":" + name(120) + ",\"hkUnlock\":" + name(121) +
                            ",\"lockOn\":true,\"unlocked\":true,\"keySpamTargets\":[" + name(32) +
                            "],\"keySpamChord\":false,\"ksCap\":3,\"reassigning\":\"\","
                            "\"panelHover\":false,\"autoClicking\":false,\"keySpamming\":false,"
                            "\"canUndoContinue\":false}");
    isRecording = true;
    isPlaying = true;
    EXPECT_TRUE(has("{\"state\":\"Recording\","));
    isRecording = false;
    EXPECT_TRUE(has("{\"state\":\"Playing\","));
    isPlaying = false;
    SetProfiles({MacroProfile{"a", "", {}}, MacroProfile{"b", "", std::vector<UnifiedEvent>(7)}},
                1);
    {
        // An undo is offered only for the profile the appending recording went into.
        std::lock_guard<std::mutex> lock(profileMutex);
        g_ContinueUndoProfile = 1;
        g_ContinueUndoAfter = profiles[1].events;
    }
    keySpamTargets[1] = 66;
    keySpamTargetCount = 2;
    isAutoClicking = true;
    g_PanelHoverActive = true;
    restore = "[\"p\"]";
    EXPECT_TRUE(has("\"count\":7,\"restore\":[\"p\"],"));
    EXPECT_TRUE(has("\"keySpamTargets\":[" + name(32) + "," + name(66) + "],"));
    EXPECT_TRUE(
        has("\"panelHover\":true,\"autoClicking\":true,\"keySpamming\":false,"
            "\"canUndoContinue\":true}"));
    keySpamTargetCount = 0;
    EXPECT_TRUE(has("\"keySpamTargets\":[],"));
    // A role the page asks to reassign shows as the same word; anything else as none.
    for (const char* word : {"rec", "play", "auto", "keyspamhotkey", "keyspamtarget", "unlock"}) {
        BindReassignKey(std::string("[\"") + word + "\"]");
        EXPECT_TRUE(has(std::string("\"reassigning\":\"") + word + "\",")) << word;
    }
    for (int code : {0, 7}) {
        currentReassign = code;
        BindReassignKey("[\"Play\"]");
        EXPECT_TRUE(has("\"reassigning\":\"\",")) << code;
    }
}
