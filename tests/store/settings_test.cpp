#include "platform/keys.h"
#include "state/humanize.h"
#include "store/codecs.h"
#include "store/humanize_settings.h"
#include "store/session_file.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "store/status.h"
#include "tests/store/store_env.h"

#include <functional>
#include <map>

namespace {

using Settings = StoreTest;
using Step = std::function<void(const std::string&)>;

std::string File() { return Slurp(GetAppSettingsFilePath()); }
std::string HumanizeKeys(const std::string& text) { return text.substr(text.find("clickJitter=")); }
std::string StateText() {
    std::string text;
    EXPECT_TRUE(SessionStateToText(text, true));
    return text.substr(0, text.size() - 1);
}
// A binding that saves: the file is removed first, so that "=saved" sees whether it wrote.
Step Saving(void (*bind)(const std::string&)) {
    return [bind](const std::string& request) {
        unlink(GetAppSettingsFilePath().c_str());
        bind(request);
    };
}

}  // namespace

// Runs the .trace files: their steps change the state, their "=" lines read it back.
TEST_F(Settings, Traces) {
    bool read = false;
    const std::map<std::string, Step> steps = {
        {"start", [this](const std::string&) { TearDown(), SetUp(); }},
        {"full", DeserializeSettings},
        {"profile", DeserializeProfileSettings},
        {"targets", DeserializeKeySpamTargetList},
        {"spammer", ApplySpammerUpdate},
        {"keyspam", ApplyKeySpamUpdate},
        {"reset", [](const std::string&) { ResetSpammerKeySpamDefaults(); }},
        {"humanize", [](const std::string& r) { Saving(BindSetHumanize)(ParseJSString(r)); }},
        {"setting", Saving(BindSetAppSetting)},
        {"warning", Saving(BindMarkWarningSeen)},
        {"panels", Saving(BindSetPanelOrder)},
        {"lock", [](const std::string&) { g_HotkeysUnlocked = false; }},
        {"save", [](const std::string&) { EXPECT_TRUE(SaveAppSettings()); }},
        {"appfile",
         [](const std::string& text) {
             WriteText(GetAppSettingsFilePath(), text + "\n");
             EXPECT_TRUE(LoadAppSettings());
         }},
        {"state",
         [](const std::string& text) {
             ResetToolStateForTest();
             EXPECT_TRUE(LoadSessionStateFromText(text + "\n"));
         }},
        {"session",
         [&read](const std::string& text) {
             const std::string before = StateText() + "\n";
             WriteText(g_SessionStateFilePath, text + "\n");
             const bool fromFile = LoadSessionState();
             const std::string after = StateText();
             ResetToolStateForTest();
             LoadSessionStateFromText(before);
             read = LoadSessionStateFromText(text + "\n");
             EXPECT_EQ(read, fromFile);
             EXPECT_EQ(StateText(), after);
         }},
        {"ensure-default", [](const std::string&) { EnsureDefaultProfileExists(); }},
        {"snapshot", [](const std::string&) { SnapshotActiveProfileSettings(); }},
        {"no-profiles", [](const std::string&) { SetProfiles({}); }},
        {"interval", [](const std::string& ms) { autoClickIntervalMs = std::stoi(ms); }},
        {"recording", [](const std::string& on) { isRecording = on == "1"; }},
        {"add", BindAddProfile},
        {"switch", BindSwitchProfile},
        {"delete", [](const std::string&) { BindDeleteProfile(); }},
        {"clear", [](const std::string&) { BindClearProfile(); }}};
    const std::map<std::string, std::function<std::string()>> readers = {
        {"json", BuildSettingsJson},
        {"full", SerializeSettings},
        {"profile", SerializeProfileSettings},
        {"targets", SerializeKeySpamTargetList},
        {"active", [] { return Profiles()[static_cast<size_t>(currentProfileIdx)].settings; }},
        {"humanize", [] { return BindGetHumanize(""); }},
        {"app", BindGetAppSettings},
        {"file", [] { return File().substr(0, File().size() - 1); }},
        {"saved",
         [] { return File().empty()                ? "no"
                     : File() == AppSettingsText() ? "yes"
                                                   : "other"; }},
        {"unlocked", [] { return std::to_string(g_HotkeysUnlocked); }},
        {"humanizing",
         [] { return std::to_string(humanizeClicker) + std::to_string(humanizeKeySpam); }},
        // The keys as written, if the file written with them reads back to the same.
        {"keys",
         [] {
             const std::string keys = HumanizeKeys(AppSettingsText());
             EXPECT_TRUE(SaveAppSettings());
             ResetToolStateForTest();
             EXPECT_TRUE(LoadAppSettings());
             const bool same =
                 HumanizeKeys(File()) == keys && HumanizeKeys(AppSettingsText()) == keys;
             return same ? keys.substr(0, keys.size() - 1) : "not read back: " + keys;
         }},
        {"state", StateText},
        {"read", [&read] { return read ? "yes" : "no"; }},
        {"profiles", BindGetProfiles},
        {"brief", [] {
             std::string out =
                 std::to_string(currentProfileIdx) + " " + std::to_string(autoClickIntervalMs);
             for (const MacroProfile& p : Profiles())
                 out += " " + p.name + ":" + std::to_string(p.events.size());
             return out;
         }}};
    for (const char* trace : {"settings.trace", "session.trace", "appsettings.trace"}) {
        TearDown();
        SetUp();
        const std::vector<std::string> lines =
            Split(Slurp(std::string(QLN_STORE_TRACES "/") + trace), "\n");
        int checks = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].empty() || lines[i][0] == '#') continue;
            const std::string verb = lines[i].substr(0, lines[i].find(' '));
            std::string argument = lines[i].substr(std::min(verb.size() + 1, lines[i].size()));
            const std::string where = std::string(trace) + ":" + std::to_string(i + 1);
            while (i + 1 < lines.size() && lines[i + 1].starts_with("  ")) {
                argument += "\n" + lines[++i].substr(2);
            }
            if (verb[0] == '=') {
                ASSERT_TRUE(readers.count(verb.substr(1))) << where;
                EXPECT_EQ(readers.at(verb.substr(1))(), argument) << where;
                ++checks;
            } else {
                ASSERT_TRUE(steps.count(verb)) << where;
                steps.at(verb)(argument);
            }
        }
        EXPECT_GE(checks, 10) << trace;
    }
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
    EXPECT_TRUE(
        has("\"panelHover\":true,\"autoClicking\":true,\"keySpamming\":false,"
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
