#include "platform/shell.h"
#include "state/humanize.h"
#include "store/codecs.h"
#include "store/humanize_settings.h"
#include "store/session_file.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "store/status.h"
#include "tests/store/store_env.h"

#include <filesystem>
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
    std::string restore = "[]";
    const std::map<std::string, Step> steps = {
        {"start", [this](const std::string&) { SetUp(); }},
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
        {"pick", [](const std::string&) { humanizeAreaPick = 1; }},
        {"drag-width",
         [](const std::string& width) {
             humanizeAreaWidth = std::stoi(width);
             humanizeAreaUnsaved = true;
         }},
        {"reset-hotkeys",
         [](const std::string&) {
             vkRecord = vkPlay = vkAutoClicker = vkKeySpamHotkey = vkUnlock = 1;
             BindResetHotkeys();
         }},
        {"playing", [](const std::string& on) { isPlaying = on == "1"; }},
        {"clicking", [](const std::string& on) { isAutoClicking = on == "1"; }},
        {"hover", [](const std::string& on) { g_PanelHoverActive = on == "1"; }},
        {"restore", [&restore](const std::string& text) { restore = text; }},
        {"reassign", BindReassignKey},
        {"reassigning", [](const std::string& code) { currentReassign = std::stoi(code); }},
        {"undo",
         [](const std::string& index) {
             std::lock_guard<std::mutex> lock(profileMutex);
             g_ContinueUndoProfile = std::stoi(index);
             g_ContinueUndoAfter = profiles[static_cast<size_t>(g_ContinueUndoProfile)].events;
         }},
        {"save", [](const std::string&) { EXPECT_TRUE(SaveAppSettings()); }},
        // The file reader and the text reader give the same settings.
        {"appfile",
         [](const std::string& text) {
             WriteText(GetAppSettingsFilePath(), text);
             EXPECT_TRUE(LoadAppSettings());
             const std::string fromFile = AppSettingsText();
             ResetAppSettingsForTest();
             ResetToolStateForTest();
             LoadAppSettingsFromText(text);
             EXPECT_EQ(AppSettingsText(), fromFile);
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
        {"status",
         [&restore] {
             std::lock_guard<std::mutex> lock(profileMutex);
             return BuildTrackerStatusJson(restore);
         }},
        {"read", [&read] { return read ? "yes" : "no"; }},
        {"profiles", BindGetProfiles},
        {"brief", [] {
             std::string out =
                 std::to_string(currentProfileIdx) + " " + std::to_string(autoClickIntervalMs);
             for (const MacroProfile& p : Profiles())
                 out += " " + p.name + ":" + std::to_string(p.events.size());
             return out;
         }}};
    for (const char* trace :
         {"settings.trace", "session.trace", "appsettings.trace", "status.trace"}) {
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

// A first start finds no file, in a data folder of the user's own.
TEST_F(Settings, DefaultsWithoutAFileInAPrivateFolder) {
    EXPECT_EQ(GetAppSettingsFilePath(), kTestHome + "/data/Quillon/appsettings.txt");
    EXPECT_EQ(std::filesystem::status(OsDataDir()).permissions(),
              std::filesystem::perms::owner_all);
    EXPECT_FALSE(LoadAppSettings());
    // The file reader keeps every byte, and gives nothing for a folder.
    WriteText(GetAppSettingsFilePath(), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(GetAppSettingsFilePath()), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(kTestHome), "");
}
