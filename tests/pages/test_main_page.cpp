// The main page in the real program under a window manager: a user's path through every panel
// with the mouse and keyboard, checked in the status and settings files; the update banner for
// each call the program makes; the Humanize folds; keyboard reach, focus rings, labels and
// contrast in both themes. Screenshots of the main states land in test-artifacts/pages.
#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"
#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/wait.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace keys;

class MainPage : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartWindowManager(manager)); }
    static void TearDownTestSuite() { StopWindowManager(manager); }

    // The page as built, probe added; the window up, its first poll answered.
    static void Open(PageSession& s) {
        ASSERT_TRUE(s.Open(WithProbe(BuiltPage("ui/index.html")), BuiltPage("mac-ui/boot.html")));
        ASSERT_TRUE(s.WaitStatus("state", "\"Idle\""));
        s.Focus();
    }
    // The state in both themes, switched by the button in the top bar.
    static void Shots(PageSession& s, const std::string& name) {
        for (const char* theme : {"light", "dark"}) {
            s.Screenshot("main-" + name + "-" + theme);
            s.Click("theme");
        }
    }
    static bool FileHas(PageSession& s, const char* file, const std::string& text) {
        return WaitUntil([&] { return Slurp(s.DataFile(file)).find(text) != std::string::npos; });
    }

    static WindowManager manager;
};
WindowManager MainPage::manager;

TEST_F(MainPage, AUserWorksThroughEveryPanel) {
    PageSession s("path");
    Open(s);
    const int fullHeight = std::stoi(s.Step("height"));
    s.Step("top");
    Shots(s, "idle");

    // A profile of one's own with a recording in it; a third profile fills the list.
    const auto addProfile = [&](const char* name) {
        s.Click("prname", "showprofile");
        s.StepUntil("focused", "pr-name");
        s.Type(name);
        s.Tap(kReturn);
    };
    addProfile("game");
    EXPECT_TRUE(s.StepUntil("profiles", "Default Tracking Profile *game"));
    s.Tap(kF8);
    ASSERT_TRUE(s.WaitStatus("state", "\"Recording\""));
    s.Step("showtracker");
    Shots(s, "recording");
    for (int x = 700; x < 1000; x += 50) PhysicalMoveTo(s.input, x, 800);
    s.Tap(kF8);
    ASSERT_TRUE(s.WaitStatus("state", "\"Idle\""));
    EXPECT_NE(s.StatusMember("count"), "0");
    addProfile("work");
    EXPECT_TRUE(s.StepUntil("profiles", "Default Tracking Profile game *work full"));
    // Deleting and clearing take a second click; No keeps the recording.
    s.Click("prdelete");
    s.Click("pryes", "where");
    EXPECT_TRUE(s.StepUntil("profiles", "Default Tracking Profile *game"));
    s.Click("prclear");
    s.Click("prno", "where");
    s.Step("where");
    EXPECT_FALSE(s.Has("prno"));
    EXPECT_NE(s.StatusMember("count"), "0");
    s.Click("prclear", "showprofile");
    s.Click("pryes", "where");
    EXPECT_TRUE(s.WaitStatus("count", "0"));
    s.Click("pr0", "showprofile");
    EXPECT_TRUE(s.StepUntil("profiles", "*Default Tracking Profile game"));
    EXPECT_FALSE(s.Has("prdelete"));

    // Auto clicker: the warning read, a 50 ms double click at a point picked on a window of
    // another program, which the clicks then reach.
    s.Click("acgotit", "top");
    EXPECT_TRUE(s.WaitReport("fast-clicks"));
    s.Click("acms", "top");
    s.StepUntil("focused", "ac-ms");
    s.Type("50", true);
    s.Click("acdouble", "top");
    Probe other;
    ASSERT_TRUE(StartProbe(other, QLN_PROBE_WINDOW, 900, 650, 300, 200));
    s.Click("acpick", "top");
    EXPECT_TRUE(s.StepUntil("picking", "ac-picking"));
    PhysicalMoveTo(s.input, 1050, 750);
    PhysicalClick(s.input, 1);
    EXPECT_TRUE(s.StepUntil("coords", "Clicks at 1050_ 750"));
    EXPECT_EQ(ProbeCount(other, "ButtonPress 1"), 0);  // the pick's press never reached it
    ClearProbe(other);
    s.Click("acgo", "top");
    ASSERT_TRUE(s.WaitStatus("autoClicking", "true"));
    EXPECT_TRUE(WaitUntil([&] { return ProbeCount(other, "ButtonPress 1") >= 4; }));
    Shots(s, "clicking");
    s.Tap(kF6);
    EXPECT_TRUE(s.WaitStatus("autoClicking", "false"));
    StopProbe(other);

    // The key spammer and hotkey steps: each clicks a place after a step, or taps a key, then
    // waits for a status member to read a value.
    for (const std::vector<std::string>& row : TableRows("main_page_steps.txt", 7)) {
        if (!row[1].empty()) s.Click(row[1], row[0]);
        if (!row[5].empty()) {
            EXPECT_FALSE(s.Has(row[5])) << row[5];
        }
        if (!row[2].empty()) s.Tap(std::stoi(row[2]));
        ASSERT_TRUE(s.WaitStatus(row[3], row[4])) << Joined(row, "|");
        if (!row[6].empty()) s.Screenshot("main-" + row[6]);
    }

    // Settings that act at once: the window's level, the autostart entry, the warnings.
    s.Click("tabgeneral");
    s.Click("ontop", "showui");
    EXPECT_TRUE(WaitUntil([&] { return WindowHasState(s.window, "_NET_WM_STATE_ABOVE"); }));
    s.Click("launch");
    EXPECT_TRUE(WaitUntil([&] {
        return std::filesystem::exists(s.dir + "/config/autostart/app.quillon.free.desktop");
    }));
    s.Click("warnings", "showwarnings");

    // Every panel folded: the window shrinks to fit; then the settings dragged to the top.
    for (const char* fold : {"foldspammer", "foldkeyspam", "foldtracker", "foldprofile", "foldui"})
        s.Click(fold, "top");
    EXPECT_TRUE(WaitUntil([&] { return std::stoi(s.Step("height")) < fullHeight; }));
    s.Step("top");
    const auto [x, from] = s.Place("gripui");
    const int to = s.Place("gripspammer").second - 12;
    s.MoveTo(x, from);
    PhysicalButton(s.input, 1, true);
    for (int i = 1; i <= 12; ++i) {
        s.MoveTo(x, from + (to - from) * i / 12);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    PhysicalButton(s.input, 1, false);
    EXPECT_TRUE(
        s.StepUntil("order", "panel-ui panel-spammer panel-keyspam panel-tracker panel-profile"));
    s.Finish();

    // What the program kept.
    for (const char* line :
         {"alwaysOnTop=1\n", "launchOnStartup=1\n", "showWarnings=0\n", "fast-clicks",
          "minimizedPanels=panel-keyspam,panel-profile,panel-spammer,panel-tracker,panel-ui\n",
          "panelOrder=panel-ui,panel-spammer,panel-keyspam,panel-tracker,panel-profile\n"}) {
        EXPECT_TRUE(FileHas(s, "appsettings.txt", line)) << line;
    }
    // The clicker's fields: 50 ms, a double click, at the picked point.
    EXPECT_TRUE(FileHas(s, "session.dat", ":0,0,0,50,0,1,1,10,1,1050,750,"));
}

TEST_F(MainPage, TheUpdateBannerShowsEveryCallOfTheProgram) {
    PageSession s("update");
    Open(s);
    for (const std::vector<std::string>& call : TableRows("update_banner.txt", 2)) {
        EXPECT_EQ(s.Step(call[0]), call[1]) << call[0];
        Shots(s, "update-" + call[0]);
    }
    s.Click("install", "top");
    EXPECT_TRUE(WaitUntil([&] { return s.Step("banner").rfind("Update failed", 0) == 0; }, 30000));
    Shots(s, "update-failed");
    s.Finish();
}

// The Humanize folds: folded away until used, a setting typed in reaches appsettings.txt, and a
// rectangle dragged out over another program becomes the click area. Then, with every panel
// and fold open, the keyboard reaches every control with a ring, every field has a label and
// all text has contrast, in both themes.
TEST_F(MainPage, HumanizeFoldsThenKeyboardLabelsAndContrastInBothThemes) {
    PageSession s("humanize");
    s.env.extra.push_back({"GTK_THEME", "Adwaita:dark"});  // the desktop prefers dark
    std::ofstream(s.DataFile("appsettings.txt")) << "keyJitter=3\n";
    Open(s);
    s.StepUntil("folds", "ac-hz closed ks-hz open");
    s.Step("expand");
    s.Click("hzjitter", "showhumanize");
    s.StepUntil("focused", "ac-hz-jitter");
    s.Type("7", true);
    EXPECT_TRUE(FileHas(s, "appsettings.txt", "\nclickJitter=7\n"));
    s.Click("hzrect", "showhumanize");
    EXPECT_TRUE(FileHas(s, "appsettings.txt", "\narea=1\n"));

    Probe other;
    ASSERT_TRUE(StartProbe(other, QLN_PROBE_WINDOW, 800, 550, 400, 300));
    s.Click("hzpick", "showhumanize");
    s.StepUntil("picking", "ac-hz-picking");
    // The tap asks where a press was; each step waits for it to have asked.
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
    PhysicalMoveTo(s.input, 1000, 700);
    pause();
    PhysicalButton(s.input, 1, true);
    pause();
    PhysicalMoveTo(s.input, 950, 640);
    PhysicalMoveTo(s.input, 900, 600);
    PhysicalButton(s.input, 1, false);
    s.StepUntil("hzarea", "Within 100 × 100 at 900_ 600");  // the probe writes commas as _
    EXPECT_TRUE(
        FileHas(s, "appsettings.txt", "\nareaX=900\nareaY=600\nareaWidth=100\nareaHeight=100\n"));
    // The drag was the page's: the other program saw none of it.
    for (const auto& line : ProbeLines(other))
        EXPECT_EQ(line.find("Button"), std::string::npos) << line;
    StopProbe(other);
    s.Step("showhumanize");
    s.Screenshot("main-humanize");

    for (const char* theme : {"dark", "light"}) {
        EXPECT_TRUE(s.StepUntil("theme", theme));
        for (const char* tab : {"tabgeneral", "tabhotkeys"}) {
            SCOPED_TRACE(std::string(theme) + " " + tab);
            s.Click(tab, "showui");
            const int stops = std::stoi(s.Step("walkstart"));
            EXPECT_GT(stops, 10);
            for (int i = 0; i < stops; ++i) s.Tap(kTab);
            EXPECT_EQ(s.Step("audit"),
                      "missed none noring none unlabelled none nameless none low none");
            // A click on the title ends the walk: after Tab had gone past the last control, the
            // letters of the next step were now and then lost to the page.
            s.MoveTo(60, 22);
            PhysicalClick(s.input, 1);
        }
        s.Click("theme");
    }
    s.Finish();
}

}  // namespace
