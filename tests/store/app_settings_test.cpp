#include "platform/shell.h"
#include "store/codecs.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>

namespace {

using AppSettings = StoreTest;
using Ints = std::vector<int64_t>;

std::string File() { return Slurp(GetAppSettingsFilePath()); }
bool Contains(const std::string& line) { return File().find(line) != std::string::npos; }

}  // namespace

TEST_F(AppSettings, DefaultsWithoutAFileInAPrivateFolder) {
    EXPECT_EQ(GetAppSettingsFilePath(), TestHome() + "/data/Quillon/appsettings.txt");
    struct stat st;
    ASSERT_EQ(stat(OsDataDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(LoadAppSettings());
    ASSERT_TRUE(SaveAppSettings());
    EXPECT_EQ(File(), AppSettingsText());
    // The file reader keeps every byte, and gives nothing for a folder.
    WriteText(GetAppSettingsFilePath(), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(GetAppSettingsFilePath()), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(TestHome()), "");
    // The panel order reader: case matters, blanks too, and a refusal changes nothing.
    std::vector<std::string> order{"keep"};
    EXPECT_FALSE(ParsePanelOrder("panel-ui,Panel-UI", order) || IsKnownPanelId("panel-keyspam "));
    EXPECT_EQ(order, std::vector<std::string>{"keep"});
    EXPECT_TRUE(ParsePanelOrder(",,", order) && order.empty());
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
