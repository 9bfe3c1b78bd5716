#include "platform/shell.h"
#include "store/codecs.h"
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
    "windowMaximized=0\n"
    "clickJitter=0\nhold=0\nholdJitter=0\narea=0\nareaX=0\nareaY=0\nareaWidth=0\n"
    "areaHeight=0\nradius=0\nkeyJitter=0\n";

}  // namespace

TEST_F(AppSettings, DefaultsWithoutAFileInAPrivateFolder) {
    EXPECT_EQ(GetAppSettingsFilePath(), TestHome() + "/data/Quillon/appsettings.txt");
    struct stat st;
    ASSERT_EQ(stat(OsDataDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(LoadAppSettings());
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(File(), kDefaultFile);
    // The file reader keeps every byte, and gives nothing for a folder.
    WriteText(GetAppSettingsFilePath(), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(GetAppSettingsFilePath()), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(TestHome()), "");
}

TEST_F(AppSettings, LoadReadsLineByLineAndWritesBackTheSame) {
    WriteText(
        GetAppSettingsFilePath(),
        "alwaysOnTop=true\nlaunchOnStartup=1\nstartMinimized=1 \nshowWarnings=0\nhotkeyLockOn=0\n"
        "minimizedPanels=panel-ui,bogus,,panel-tracker\n"
        "panelOrder=,panel-tracker,,panel-ui,\npanelOrder=panel-ui,panel-ui\npanelOrder=x\n"
        "seenWarnings=b,a=1,,a,bad\\id,ctl\x02,q\"uote\n"
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
    // line feed unless it is refused, ids that the page or the file could not carry are dropped,
    // and numbers read like the standard conversion.
    EXPECT_EQ(BindGetAppSettings(),
              "{\"alwaysOnTop\":false,\"launchOnStartup\":true,\"startMinimized\":false,"
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

// Every request goes once through its apply function, which only says whether the binding
// saves, and once, from the same start, through the binding, which saves exactly then.
TEST_F(AppSettings, BindingsSaveExactlyWhatTheyApply) {
    // A request starts with + when it applies, so that its binding saves, and with - when not.
    const struct {
        bool (*apply)(const std::string&);
        void (*bind)(const std::string&);
        std::vector<std::string> requests;
    } bindings[] = {
        // Exactly two pieces, where a trailing comma adds none; an unknown key still saves.
        {ApplySetAppSetting,
         BindSetAppSetting,
         {"-[\"startMinimized\"]", "-[\"startMinimized\",\"1\",\"x\"]",
          "+[\"startMinimized\",\"1\",]", "+[\"bogus\",\"1\"]", "+[\"showWarnings\",\"true\"]",
          "+[\"hotkeyLock\",\"0\"]", "+[\"stopToolsWithMacro\",\"0\"]",
          "+[\"min:panel-spammer\",\"1\"]", "+[\"min:panel-bogus\",\"1\"]",
          "+[\"hotkeysEnabled\",\"0\"]"}},
        // A warning is marked once. An empty id, and ids that arrive with a backslash (a page
        // string with a quote or a control character) or hold a control character or a comma,
        // would make the settings unreadable.
        {ApplyMarkWarningSeen,
         BindMarkWarningSeen,
         {"+[\"intro\"]", "-[\"intro\"]", "-[\"\"]", "-[\"a\\\"b\"]", "-[\"tab\\there\"]",
          "-[\"raw\x01\"]", "-[\"x,y\"]"}},
        // Known panels only, each at most once.
        {ApplySetPanelOrder,
         BindSetPanelOrder,
         {"+[\"panel-keyspam,panel-ui\"]", "-[\"panel-ui\",\"panel-ui\"]", "-[\"x\"]"}}};
    std::string applied;
    for (bool throughBinding : {false, true}) {
        ResetAppSettingsForTest();
        ResetToolStateForTest();
        g_HotkeysUnlocked = false;
        for (const auto& [apply, bind, requests] : bindings) {
            for (const std::string& line : requests) {
                const std::string request = line.substr(1);
                const bool saves = line[0] == '+';
                SCOPED_TRACE(request);
                unlink(GetAppSettingsFilePath().c_str());
                if (throughBinding) {
                    bind(request);
                } else {
                    EXPECT_EQ(apply(request), saves);
                }
                EXPECT_EQ(File(), throughBinding && saves ? AppSettingsText() : "");
            }
        }
        if (!throughBinding) applied = AppSettingsText();
    }
    EXPECT_EQ(AppSettingsText(), applied);
    EXPECT_EQ((Ints{g_StartMinimized, g_ShowWarnings, g_HotkeyLockEnabled, g_HotkeysUnlocked,
                    g_StopToolsWithMacro, g_HotkeysEnabled}),
              (Ints{true, false, false, true, false, false}));
    EXPECT_EQ(g_MinimizedPanels, std::set<std::string>{"panel-spammer"});
    EXPECT_EQ(g_SeenWarningIds, std::set<std::string>{"intro"});
    EXPECT_EQ(g_PanelOrder, (Names{"panel-keyspam", "panel-ui"}));
    EXPECT_EQ(BindGetAppSettings().find("stopTools"), std::string::npos);
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_TRUE(Contains("\nhotkeysEnabled=0\n") && Contains("\nseenWarnings=intro\n") &&
                Contains("\npanelOrder=panel-keyspam,panel-ui\n"));
    BindSetAppSetting("[\"min:panel-spammer\",\"0\"]");
    EXPECT_TRUE(g_MinimizedPanels.empty());
    // The panel order reader on its own: case matters, blanks too, and a refusal changes nothing.
    Names out{"keep"};
    EXPECT_FALSE(ParsePanelOrder("panel-ui,Panel-UI", out) || IsKnownPanelId("panel-keyspam "));
    EXPECT_EQ(out, Names{"keep"});
    EXPECT_TRUE(ParsePanelOrder(",,", out) && out.empty());
}
