#include "store/app_settings.h"
#include "app/state.h"
#include "platform/shell.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AppSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        ResetAppSettingsForTest();
        path_ = GetAppSettingsFilePath();
        unlink(path_.c_str());
    }
    void TearDown() override {
        unlink(path_.c_str());
        ResetAppSettingsForTest();
        ResetToolStateForTest();
    }
    std::string path_;
};

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

TEST_F(AppSettings, DataDirectoryIsPrivateAndStable) {
    EXPECT_EQ(OsDataDir(), TestHome() + "/data/Quillon");
    EXPECT_EQ(path_, TestHome() + "/data/Quillon/appsettings.txt");
    struct stat st;
    ASSERT_EQ(stat(OsDataDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(AppSettings, DefaultsWithoutAFile) {
    EXPECT_FALSE(LoadAppSettings());
    EXPECT_EQ(BindGetAppSettings(), kDefaultJson);
    EXPECT_EQ(g_SavedWindowWidth, 420);
    EXPECT_EQ(g_SavedWindowHeight, 560);
    EXPECT_FALSE(g_HasSavedWindowPos);
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(FileText(path_), kDefaultFile);
}

TEST_F(AppSettings, LoadReadsLineByLine) {
    WriteText(path_,
              "alwaysOnTop=true\nstartMinimized=1 \nshowWarnings=0\nhotkeyLockOn=0\n"
              "minimizedPanels=panel-ui,bogus,,panel-tracker\n"
              "panelOrder=,panel-tracker,,panel-ui,\n"
              "seenWarnings=b,a=1,,a\n"
              "windowX=12px\nwindowY=-7\nwindowWidth=99999999999\nwindowHeight=abc\n"
              "windowMaximized=1\nnoequals\nunknown=1\nhotkeyLock=0\n"
              "disableAnimations=0\ndisableAnimations=1");
    EXPECT_TRUE(LoadAppSettings());
    EXPECT_FALSE(g_AlwaysOnTop);
    EXPECT_FALSE(g_StartMinimized) << "a trailing blank is part of the value";
    EXPECT_FALSE(g_ShowWarnings);
    EXPECT_FALSE(g_HotkeyLockEnabled);
    EXPECT_TRUE(g_DisableAnimations) << "the later line wins, even without a line feed";
    EXPECT_EQ(g_SavedWindowX, 12);
    EXPECT_TRUE(g_HasSavedWindowPos);
    EXPECT_EQ(g_SavedWindowY, -7);
    EXPECT_EQ(g_SavedWindowWidth, 420);
    EXPECT_EQ(g_SavedWindowHeight, 560);
    EXPECT_TRUE(g_SavedMaximized);
    EXPECT_EQ(BindGetAppSettings(),
              "{\"alwaysOnTop\":false,\"launchOnStartup\":false,\"startMinimized\":false,"
              "\"hotkeysEnabled\":true,\"hotkeyLock\":false,\"disableAnimations\":true,"
              "\"showWarnings\":false,\"seenWarnings\":[\"a\",\"a=1\",\"b\"],"
              "\"minimizedPanels\":[\"panel-tracker\",\"panel-ui\"],"
              "\"panelOrder\":[\"panel-tracker\",\"panel-ui\"]}");
    ASSERT_TRUE(SaveAppSettings());
    const std::string text = FileText(path_);
    EXPECT_NE(text.find("\nminimizedPanels=panel-tracker,panel-ui\n"), std::string::npos);
    EXPECT_NE(text.find("\nhotkeyLockOn=0\n"), std::string::npos);
    EXPECT_EQ(text.find("hotkeyLock="), std::string::npos);
    EXPECT_NE(text.find("\nwindowX=12\nwindowY=-7\nwindowWidth=420\n"), std::string::npos);
    // What was written reads back to the same file.
    ResetAppSettingsForTest();
    ASSERT_TRUE(LoadAppSettings());
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(FileText(path_), text);
}

TEST_F(AppSettings, BadPanelOrderKeepsTheEarlierOne) {
    WriteText(path_, "panelOrder=panel-ui\npanelOrder=panel-ui,panel-ui\npanelOrder=x\n");
    LoadAppSettings();
    EXPECT_EQ(g_PanelOrder, std::vector<std::string>{"panel-ui"});
    std::vector<std::string> out{"keep"};
    EXPECT_TRUE(ParsePanelOrder(",,", out));
    EXPECT_TRUE(out.empty());
    out = {"keep"};
    EXPECT_FALSE(ParsePanelOrder("panel-ui,Panel-UI", out));
    EXPECT_EQ(out, std::vector<std::string>{"keep"});
    EXPECT_TRUE(IsKnownPanelId("panel-keyspam"));
    EXPECT_FALSE(IsKnownPanelId("panel-keyspam "));
}

TEST_F(AppSettings, SetAppSettingNeedsExactlyTwoPieces) {
    BindSetAppSetting("[\"startMinimized\"]");
    BindSetAppSetting("[\"startMinimized\",\"1\",\"x\"]");
    EXPECT_FALSE(g_StartMinimized);
    EXPECT_EQ(FileText(path_), "") << "nothing saved";
    BindSetAppSetting("[\"startMinimized\",\"1\",]");  // a trailing comma adds no piece
    EXPECT_TRUE(g_StartMinimized);
    unlink(path_.c_str());
    BindSetAppSetting("[\"bogus\",\"1\"]");
    EXPECT_NE(FileText(path_), "") << "an unknown key still rewrites the file";
    BindSetAppSetting("[\"showWarnings\",\"true\"]");
    EXPECT_FALSE(g_ShowWarnings) << "only 1 is on";
    g_HotkeysUnlocked = false;
    BindSetAppSetting("[\"hotkeyLock\",\"0\"]");
    EXPECT_FALSE(g_HotkeyLockEnabled);
    EXPECT_TRUE(g_HotkeysUnlocked);
    BindSetAppSetting("[\"stopToolsWithMacro\",\"0\"]");
    EXPECT_FALSE(g_StopToolsWithMacro);
    EXPECT_EQ(BindGetAppSettings().find("stopTools"), std::string::npos);
    BindSetAppSetting("[\"min:panel-spammer\",\"1\"]");
    EXPECT_EQ(g_MinimizedPanels.count("panel-spammer"), 1u);
    BindSetAppSetting("[\"min:panel-spammer\",\"0\"]");
    BindSetAppSetting("[\"min:panel-bogus\",\"1\"]");
    EXPECT_TRUE(g_MinimizedPanels.empty());
    BindSetAppSetting("[\"hotkeysEnabled\",\"0\"]");
    EXPECT_FALSE(g_HotkeysEnabled);
    EXPECT_NE(FileText(path_).find("\nhotkeysEnabled=0\n"), std::string::npos);
}

TEST_F(AppSettings, WarningsSeenAreSavedOnceAndStayParsable) {
    BindMarkWarningSeen("[\"intro\"]");
    ASSERT_NE(FileText(path_).find("\nseenWarnings=intro\n"), std::string::npos);
    unlink(path_.c_str());
    BindMarkWarningSeen("[\"intro\"]");
    EXPECT_EQ(FileText(path_), "") << "a known id writes nothing";
    BindMarkWarningSeen("[\"\"]");
    // A page string with a quote or a control character arrives with a backslash; it would
    // make the settings JSON unreadable and is refused.
    BindMarkWarningSeen("[\"a\\\"b\"]");
    BindMarkWarningSeen("[\"tab\\there\"]");
    BindMarkWarningSeen(std::string("[\"raw\x01\"]"));
    BindMarkWarningSeen("[\"x,y\"]");
    EXPECT_EQ(g_SeenWarningIds, std::set<std::string>{"intro"});
    EXPECT_EQ(FileText(path_), "");
    // Ids like that in the file are dropped when loading.
    WriteText(path_, "seenWarnings=ok,bad\\id,ctl\x02,q\"uote\n");
    LoadAppSettings();
    EXPECT_EQ(g_SeenWarningIds, std::set<std::string>{"ok"});
}

TEST_F(AppSettings, PanelOrderBinding) {
    BindSetPanelOrder("[\"panel-keyspam,panel-ui\"]");
    EXPECT_EQ(g_PanelOrder, (std::vector<std::string>{"panel-keyspam", "panel-ui"}));
    EXPECT_NE(FileText(path_).find("\npanelOrder=panel-keyspam,panel-ui\n"), std::string::npos);
    unlink(path_.c_str());
    BindSetPanelOrder("[\"panel-ui\",\"panel-ui\"]");
    EXPECT_EQ(g_PanelOrder.size(), 2u);
    EXPECT_EQ(FileText(path_), "");
}

TEST_F(AppSettings, HotkeyBindings) {
    vkRecord = 1;
    vkPlay = 2;
    vkAutoClicker = 3;
    vkKeySpamHotkey = 4;
    vkUnlock = 5;
    BindResetHotkeys();
    EXPECT_EQ(vkRecord, 119);
    EXPECT_EQ(vkPlay, 118);
    EXPECT_EQ(vkAutoClicker, 117);
    EXPECT_EQ(vkKeySpamHotkey, 120);
    EXPECT_EQ(vkUnlock, 121);
    EXPECT_EQ(FileText(path_), "");
    BindReassignKey("[\"Play\"]");
    EXPECT_EQ(currentReassign, 0);
    BindReassignKey("[\"play\"]");
    EXPECT_EQ(currentReassign, 2);
    BindReassignKey("[\"keyspamtarget\"]");
    EXPECT_EQ(currentReassign, 5);
    BindReassignKey("[\"unlock\"]");
    EXPECT_EQ(currentReassign, 6);
}
