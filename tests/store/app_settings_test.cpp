#include "platform/shell.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>

namespace {

using AppSettings = StoreTest;
using Ints = std::vector<int64_t>;
using Names = std::vector<std::string>;

std::string File() { return Slurp(GetAppSettingsFilePath()); }
bool Contains(const std::string& line) { return File().find(line) != std::string::npos; }

const char kDefaultFile[] =
    "alwaysOnTop=0\nlaunchOnStartup=0\nstartMinimized=0\nhotkeysEnabled=1\nhotkeyLockOn=1\n"
    "stopToolsWithMacro=1\ndisableAnimations=0\nshowWarnings=1\nseenWarnings=\n"
    "minimizedPanels=\npanelOrder=\nwindowX=0\nwindowY=0\nwindowWidth=420\nwindowHeight=560\n"
    "windowMaximized=0\n";

const char kDefaultJson[] =
    "{\"alwaysOnTop\":false,\"launchOnStartup\":false,\"startMinimized\":false,"
    "\"hotkeysEnabled\":true,\"hotkeyLock\":true,\"disableAnimations\":false,"
    "\"showWarnings\":true,\"seenWarnings\":[],\"minimizedPanels\":[],\"panelOrder\":[]}";

}  // namespace

TEST_F(AppSettings, DefaultsWithoutAFileInAPrivateFolder) {
    EXPECT_EQ(GetAppSettingsFilePath(), TestHome() + "/data/Quillon/appsettings.txt");
    struct stat st;
    ASSERT_EQ(stat(OsDataDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(LoadAppSettings());
    EXPECT_EQ(BindGetAppSettings(), kDefaultJson);
    EXPECT_EQ((Ints{g_SavedWindowWidth, g_SavedWindowHeight, g_HasSavedWindowPos}),
              (Ints{420, 560, false}));
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(File(), kDefaultFile);
}

TEST_F(AppSettings, LoadReadsLineByLineAndWritesBackTheSame) {
    WriteText(GetAppSettingsFilePath(),
              "alwaysOnTop=true\nstartMinimized=1 \nshowWarnings=0\nhotkeyLockOn=0\n"
              "minimizedPanels=panel-ui,bogus,,panel-tracker\n"
              "panelOrder=,panel-tracker,,panel-ui,\n"
              "seenWarnings=b,a=1,,a\n"
              "windowX=12px\nwindowY=-7\nwindowWidth=99999999999\nwindowHeight=abc\n"
              "windowMaximized=1\nnoequals\nunknown=1\nhotkeyLock=0\n"
              "disableAnimations=0\ndisableAnimations=1");
    EXPECT_TRUE(LoadAppSettings());
    // The text reader gives what the file reader gives; the checks below see its result.
    const std::string fromFile = AppSettingsText();
    ResetAppSettingsForTest();
    ResetToolStateForTest();
    LoadAppSettingsFromText(File());
    EXPECT_EQ(AppSettingsText(), fromFile);
    // Only 1 is on, a trailing blank is part of the value, the later line wins even without a
    // line feed, and numbers read like the standard conversion.
    EXPECT_EQ(BindGetAppSettings(),
              "{\"alwaysOnTop\":false,\"launchOnStartup\":false,\"startMinimized\":false,"
              "\"hotkeysEnabled\":true,\"hotkeyLock\":false,\"disableAnimations\":true,"
              "\"showWarnings\":false,\"seenWarnings\":[\"a\",\"a=1\",\"b\"],"
              "\"minimizedPanels\":[\"panel-tracker\",\"panel-ui\"],"
              "\"panelOrder\":[\"panel-tracker\",\"panel-ui\"]}");
    EXPECT_EQ((Ints{g_SavedWindowX, g_SavedWindowY, g_SavedWindowWidth, g_SavedWindowHeight,
                    g_HasSavedWindowPos, g_SavedMaximized}),
              (Ints{12, -7, 420, 560, true, true}));
    // Written back in the file's own spelling; reading back is the fuzz target's invariant.
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_TRUE(Contains("\nminimizedPanels=panel-tracker,panel-ui\n"));
    EXPECT_TRUE(Contains("\nhotkeyLockOn=0\n") && !Contains("hotkeyLock="));
    EXPECT_TRUE(Contains("\nwindowX=12\nwindowY=-7\nwindowWidth=420\n"));
}

TEST_F(AppSettings, PanelOrdersWithRepeatsOrUnknownPanelsAreRefused) {
    WriteText(GetAppSettingsFilePath(),
              "panelOrder=panel-ui\npanelOrder=panel-ui,panel-ui\npanelOrder=x\n");
    LoadAppSettings();
    EXPECT_EQ(g_PanelOrder, Names{"panel-ui"});
    Names out{"keep"};
    EXPECT_FALSE(ParsePanelOrder("panel-ui,Panel-UI", out));
    EXPECT_EQ(out, Names{"keep"});
    EXPECT_TRUE(ParsePanelOrder(",,", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(IsKnownPanelId("panel-keyspam "));
    BindSetPanelOrder("[\"panel-keyspam,panel-ui\"]");
    EXPECT_EQ(g_PanelOrder, (Names{"panel-keyspam", "panel-ui"}));
    EXPECT_TRUE(Contains("\npanelOrder=panel-keyspam,panel-ui\n"));
    unlink(GetAppSettingsFilePath().c_str());
    BindSetPanelOrder("[\"panel-ui\",\"panel-ui\"]");
    EXPECT_EQ(g_PanelOrder.size(), 2u);
    EXPECT_EQ(File(), "");
}

TEST_F(AppSettings, SetAppSettingNeedsExactlyTwoPieces) {
    BindSetAppSetting("[\"startMinimized\"]");
    BindSetAppSetting("[\"startMinimized\",\"1\",\"x\"]");
    EXPECT_FALSE(g_StartMinimized);
    EXPECT_EQ(File(), "") << "nothing saved";
    BindSetAppSetting("[\"startMinimized\",\"1\",]");  // a trailing comma adds no piece
    EXPECT_TRUE(g_StartMinimized);
    unlink(GetAppSettingsFilePath().c_str());
    // Applying alone says whether the binding saves, and writes nothing.
    EXPECT_FALSE(ApplySetAppSetting("[\"startMinimized\",\"0\",\"x\"]"));
    EXPECT_TRUE(ApplySetAppSetting("[\"startMinimized\",\"0\"]"));
    EXPECT_TRUE(ApplyMarkWarningSeen("[\"w\"]") && !ApplyMarkWarningSeen("[\"w\"]"));
    EXPECT_FALSE(g_StartMinimized || ApplySetPanelOrder("[\"x\"]"));
    EXPECT_EQ(File(), "");
    BindSetAppSetting("[\"bogus\",\"1\"]");
    EXPECT_NE(File(), "") << "an unknown key still rewrites the file";
    g_HotkeysUnlocked = false;
    for (const char* request : {"[\"showWarnings\",\"true\"]", "[\"hotkeyLock\",\"0\"]",
                                "[\"stopToolsWithMacro\",\"0\"]", "[\"min:panel-spammer\",\"1\"]",
                                "[\"min:panel-bogus\",\"1\"]", "[\"hotkeysEnabled\",\"0\"]"}) {
        BindSetAppSetting(request);
    }
    EXPECT_EQ((Ints{g_ShowWarnings, g_HotkeyLockEnabled, g_HotkeysUnlocked, g_StopToolsWithMacro,
                    g_HotkeysEnabled}),
              (Ints{false, false, true, false, false}));
    EXPECT_EQ(g_MinimizedPanels, std::set<std::string>{"panel-spammer"});
    EXPECT_EQ(BindGetAppSettings().find("stopTools"), std::string::npos);
    EXPECT_TRUE(Contains("\nhotkeysEnabled=0\n"));
    BindSetAppSetting("[\"min:panel-spammer\",\"0\"]");
    EXPECT_TRUE(g_MinimizedPanels.empty());
}

TEST_F(AppSettings, WarningsSeenAreSavedOnceAndStayParsable) {
    BindMarkWarningSeen("[\"intro\"]");
    ASSERT_TRUE(Contains("\nseenWarnings=intro\n"));
    unlink(GetAppSettingsFilePath().c_str());
    // A known id, an empty one, and ids that arrive with a backslash (a page string with a quote
    // or a control character) or hold a control character or a comma would make the settings
    // unreadable: none is stored, nothing is written.
    for (const std::string request : {"[\"intro\"]", "[\"\"]", "[\"a\\\"b\"]", "[\"tab\\there\"]",
                                      "[\"raw\x01\"]", "[\"x,y\"]"}) {
        BindMarkWarningSeen(request);
    }
    EXPECT_EQ(g_SeenWarningIds, std::set<std::string>{"intro"});
    EXPECT_EQ(File(), "");
    // Ids like that in the file are dropped when loading.
    WriteText(GetAppSettingsFilePath(), "seenWarnings=ok,bad\\id,ctl\x02,q\"uote\n");
    LoadAppSettings();
    EXPECT_EQ(g_SeenWarningIds, std::set<std::string>{"ok"});
}

TEST_F(AppSettings, HotkeyBindings) {
    for (auto* key : {&vkRecord, &vkPlay, &vkAutoClicker, &vkKeySpamHotkey, &vkUnlock}) *key = 1;
    BindResetHotkeys();
    EXPECT_EQ((Ints{vkRecord, vkPlay, vkAutoClicker, vkKeySpamHotkey, vkUnlock}),
              (Ints{119, 118, 117, 120, 121}));
    EXPECT_EQ(File(), "");
    for (const auto& [request, code] :
         {std::pair{"[\"Play\"]", 0}, std::pair{"[\"play\"]", 2},
          std::pair{"[\"keyspamtarget\"]", 5}, std::pair{"[\"unlock\"]", 6}}) {
        currentReassign = 0;
        BindReassignKey(request);
        EXPECT_EQ(currentReassign, code) << request;
    }
}
