#include "platform/keys.h"
#include "state/humanize.h"
#include "store/codecs.h"
#include "store/humanize_settings.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "store/status.h"
#include "tests/store/store_env.h"

#include <functional>
#include <map>

namespace {

using Settings = StoreTest;

std::string File() { return Slurp(GetAppSettingsFilePath()); }
std::string HumanizeKeys(const std::string& text) { return text.substr(text.find("clickJitter=")); }

}  // namespace

// Runs settings.trace: its steps change the state, its "=" lines read it back.
TEST_F(Settings, Trace) {
    const std::map<std::string, std::function<void(const std::string&)>> steps = {
        {"start", [this](const std::string&) { TearDown(), SetUp(); }},
        {"full", DeserializeSettings},
        {"profile", DeserializeProfileSettings},
        {"targets", DeserializeKeySpamTargetList},
        {"spammer", ApplySpammerUpdate},
        {"keyspam", ApplyKeySpamUpdate},
        {"reset", [](const std::string&) { ResetSpammerKeySpamDefaults(); }},
        {"humanize",
         [](const std::string& request) {
             unlink(GetAppSettingsFilePath().c_str());
             BindSetHumanize(ParseJSString(request));
         }},
        {"appfile", [](const std::string& text) {
             WriteText(GetAppSettingsFilePath(), text + "\n");
             EXPECT_TRUE(LoadAppSettings());
         }}};
    const std::map<std::string, std::function<std::string()>> readers = {
        {"json", BuildSettingsJson},
        {"full", SerializeSettings},
        {"profile", SerializeProfileSettings},
        {"targets", SerializeKeySpamTargetList},
        {"active", [] { return Profiles()[static_cast<size_t>(currentProfileIdx)].settings; }},
        {"humanize", [] { return BindGetHumanize(""); }},
        {"saved", [] { return File().empty() ? "no" : File() == AppSettingsText() ? "yes" : "other"; }},
        {"humanizing", [] { return std::to_string(humanizeClicker) + std::to_string(humanizeKeySpam); }},
        // The keys as written, if the file written with them reads back to the same.
        {"keys", [] {
             const std::string keys = HumanizeKeys(AppSettingsText());
             EXPECT_TRUE(SaveAppSettings());
             ResetToolStateForTest();
             EXPECT_TRUE(LoadAppSettings());
             const bool same = HumanizeKeys(File()) == keys && HumanizeKeys(AppSettingsText()) == keys;
             return same ? keys.substr(0, keys.size() - 1) : "not read back: " + keys;
         }}};
    std::vector<std::string> lines = Split(Slurp(QLN_STORE_TRACES "/settings.trace"), "\n");
    int checks = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == '#') continue;
        const std::string verb = lines[i].substr(0, lines[i].find(' '));
        std::string argument = lines[i].substr(std::min(verb.size() + 1, lines[i].size()));
        const size_t at = i + 1;
        while (i + 1 < lines.size() && lines[i + 1].starts_with("  ")) argument += "\n" + lines[++i].substr(2);
        if (verb[0] == '=') {
            ASSERT_TRUE(readers.count(verb.substr(1))) << "line " << at;
            EXPECT_EQ(readers.at(verb.substr(1))(), argument) << "line " << at;
            ++checks;
        } else {
            ASSERT_TRUE(steps.count(verb)) << "line " << at;
            steps.at(verb)(argument);
        }
    }
    EXPECT_GE(checks, 45);
}

// A rectangle dragged out on the tap's thread is written by the next read of the page.
TEST_F(Settings, PickedAreaIsSavedByTheNextRead) {
    humanizeAreaPick = 1;
    EXPECT_NE(BindGetHumanize("").find("\"picking\":true"), std::string::npos);
    EXPECT_EQ(File(), "");
    humanizeAreaWidth = 4;
    humanizeAreaUnsaved = true;
    BindGetHumanize("");
    EXPECT_NE(File().find("areaWidth=4\n"), std::string::npos);
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
    EXPECT_EQ(File(), "");
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
    EXPECT_TRUE(has("\"panelHover\":true,\"autoClicking\":true,\"keySpamming\":false,"
                    "\"canUndoContinue\":true}"));
    // A role the page asks to reassign shows as the same word; anything else as none.
    for (const char* word : {"rec", "play", "auto", "keyspamhotkey", "keyspamtarget", "unlock"}) {
        BindReassignKey(std::string("[\"") + word + "\"]");
        EXPECT_TRUE(has(std::string("\"reassigning\":\"") + word + "\",")) << word;
    }
    currentReassign = 7;
    BindReassignKey("[\"Play\"]");
    EXPECT_TRUE(has("\"reassigning\":\"\","));
}
