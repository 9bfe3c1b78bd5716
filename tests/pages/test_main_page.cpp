// The main page in the real program under a window manager: a user's path through every panel
// with the mouse and keyboard, checked in the status and session files; the update banner for
// each call the program makes; keyboard reach, focus rings, labels and contrast in both themes;
// the Humanize folds.
// Screenshots of the main states land in test-artifacts/pages.
#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"
#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/wait.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace keys;

class MainPage : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartWindowManager(manager)); }
    static void TearDownTestSuite() { StopWindowManager(manager); }

    // The page as built, probe added; the window up, its first poll answered.
    void Open(PageSession& s) {
        s.Start(s.MakeBundle(WithProbe(BuiltPage("ui/index.html")), BuiltPage("mac-ui/boot.html")));
        ASSERT_NE(s.window, None) << Slurp(s.dir + "/err.txt");
        ASSERT_TRUE(s.WaitStatus("state", "\"Idle\"")) << Slurp(s.dir + "/err.txt");
        s.Focus();
    }
    // Asks the probe until its note reads as expected.
    static bool StepUntil(PageSession& s, const std::string& step, const std::string& note) {
        std::string last;
        const bool ok = WaitUntil([&] { return (last = s.Step(step)) == note; }, 20000, 100);
        if (!ok) ADD_FAILURE() << step << ": " << last << " instead of " << note;
        return ok;
    }
    static void Shots(PageSession& s, const std::string& name) {
        EXPECT_TRUE(s.Screenshot("main-" + name + "-light")) << name;
        s.Step("dark");
        EXPECT_TRUE(s.Screenshot("main-" + name + "-dark")) << name;
        s.Step("light");
    }
    static void NoPageErrors(const PageSession& s) {
        for (const std::string& error : s.PageErrors()) ADD_FAILURE() << error;
    }

    static WindowManager manager;
};
WindowManager MainPage::manager;

std::vector<std::string> Fields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    return fields;
}

TEST_F(MainPage, AUserWorksThroughEveryPanel) {
    PageSession s("path");
    Open(s);
    EXPECT_EQ(s.WindowSize(), std::make_pair(420, 560));
    s.Step("top");
    Shots(s, "idle");
    s.Click("theme");
    EXPECT_TRUE(StepUntil(s, "theme", "dark"));
    s.Click("theme");
    EXPECT_TRUE(StepUntil(s, "theme", "light"));

    // A profile of one's own, and a recording in it.
    s.ClickAfter("showprofile", "prname");
    StepUntil(s, "focused", "pr-name");
    s.Type("game");
    s.Tap(kReturn);
    EXPECT_TRUE(StepUntil(s, "profiles", "Default Tracking Profile *game"));
    s.Tap(kF8);
    ASSERT_TRUE(s.WaitStatus("state", "\"Recording\""));
    s.Step("showtracker");
    Shots(s, "recording");
    for (int x = 700; x < 1000; x += 50) PhysicalMoveTo(s.input, x, 800);
    s.Tap(kF8);
    ASSERT_TRUE(s.WaitStatus("state", "\"Idle\""));
    EXPECT_NE(s.StatusMember("count"), "0");

    // A third profile fills the list; deleting it and clearing the default take a second click.
    s.ClickAfter("showprofile", "prname");
    StepUntil(s, "focused", "pr-name");
    s.Type("work");
    s.Tap(kReturn);
    EXPECT_TRUE(StepUntil(s, "profiles", "Default Tracking Profile game *work full"));
    s.Click("prdelete");
    s.ClickAfter("where", "pryes");
    EXPECT_TRUE(StepUntil(s, "profiles", "Default Tracking Profile *game"));
    s.Click("pr0");
    EXPECT_TRUE(StepUntil(s, "profiles", "*Default Tracking Profile game"));
    EXPECT_TRUE(s.WaitStatus("count", "0"));
    EXPECT_FALSE(s.Has("prdelete"));
    s.Click("prclear");
    s.ClickAfter("where", "prno");
    s.Step("where");
    EXPECT_FALSE(s.Has("pryes"));
    s.Click("prclear");
    s.ClickAfter("where", "pryes");
    s.Step("where");
    EXPECT_FALSE(s.Has("pryes"));

    // Auto clicker: the warning read, a 50 ms double click at a point picked on the desktop.
    s.ClickAfter("top", "acgotit");
    EXPECT_TRUE(s.WaitReport("fast-clicks"));
    s.ClickAfter("top", "acms");
    StepUntil(s, "focused", "ac-ms");
    PhysicalKey(s.input, kControl, true);
    s.Tap(kA);
    PhysicalKey(s.input, kControl, false);
    s.Type("50");
    s.ClickAfter("top", "acdouble");
    // The point is picked on a window of another program, which the clicks then reach.
    Probe other;
    ASSERT_TRUE(StartProbe(other, QLN_PROBE_WINDOW, 900, 650, 300, 200));
    s.Focus();
    s.ClickAfter("top", "acpick");
    EXPECT_TRUE(StepUntil(s, "picking", "picking"));
    PhysicalMoveTo(s.input, 1050, 750);
    PhysicalClick(s.input, 1);
    EXPECT_TRUE(StepUntil(s, "coords", "Clicks at 1050_ 750"));
    EXPECT_EQ(ProbeCount(other, "ButtonPress 1"), 0);  // the pick's press never reached it
    ClearProbe(other);
    s.ClickAfter("top", "acgo");
    ASSERT_TRUE(s.WaitStatus("autoClicking", "true"));
    EXPECT_TRUE(WaitUntil([&] { return ProbeCount(other, "ButtonPress 1") >= 4; }));
    Shots(s, "clicking");
    s.Tap(kF6);
    EXPECT_TRUE(s.WaitStatus("autoClicking", "false"));
    StopProbe(other);

    // Key spammer: two keys pressed in, the first key taken out, chord mode, start and stop.
    s.ClickAfter("showkeyspam", "ksadd");
    ASSERT_TRUE(s.WaitStatus("reassigning", "\"keyspamtarget\""));
    EXPECT_TRUE(s.Screenshot("main-reassigning-light"));
    s.Click("theme");  // the pointer stays free while a key is awaited
    EXPECT_TRUE(s.Screenshot("main-reassigning-dark"));
    s.Click("theme");
    s.Tap(kA);
    EXPECT_TRUE(s.WaitStatus("keySpamTargets", "[\"Space\",\"A\"]"));
    s.ClickAfter("showkeyspam", "ksadd");
    ASSERT_TRUE(s.WaitStatus("reassigning", "\"keyspamtarget\""));
    s.Tap(kB);
    EXPECT_TRUE(s.WaitStatus("keySpamTargets", "[\"Space\",\"A\",\"B\"]"));
    EXPECT_EQ(s.Step("showkeyspam"), "");
    EXPECT_FALSE(s.Has("ksadd"));
    s.Click("ksrm0");
    EXPECT_TRUE(s.WaitStatus("keySpamTargets", "[\"A\",\"B\"]"));
    s.ClickAfter("showkeyspam", "kschord");
    EXPECT_TRUE(s.WaitStatus("keySpamChord", "true"));
    s.ClickAfter("showkeyspam", "ksgo");
    EXPECT_TRUE(s.WaitStatus("keySpamming", "true"));
    s.Click("ksgo");  // the keys it types into this window must not stop it, the click does
    EXPECT_TRUE(s.WaitStatus("keySpamming", "false"));

    // Hotkeys: one changed by pressing F4, one left alone with Esc, then all reset.
    s.ClickAfter("showui", "tabhotkeys");
    s.ClickAfter("showui", "hkauto");
    ASSERT_TRUE(s.WaitStatus("reassigning", "\"auto\""));
    EXPECT_TRUE(s.Screenshot("main-hotkey-change-light"));
    s.Tap(kF4);
    EXPECT_TRUE(s.WaitStatus("hkAuto", "\"F4\""));
    s.ClickAfter("showui", "hkrec");
    ASSERT_TRUE(s.WaitStatus("reassigning", "\"rec\""));
    s.Tap(kEsc);
    EXPECT_TRUE(s.WaitStatus("reassigning", "\"\""));
    EXPECT_EQ(s.StatusMember("hkRec"), "\"F8\"");
    s.ClickAfter("showui", "hkreset");
    EXPECT_TRUE(s.WaitStatus("hkAuto", "\"F6\""));

    // Settings that act at once: the window's level, the autostart entry, the warnings.
    s.Click("tabgeneral");
    s.ClickAfter("showui", "ontop");
    EXPECT_TRUE(WaitUntil([&] { return WindowHasState(s.window, "_NET_WM_STATE_ABOVE"); }));
    s.Click("launch");
    EXPECT_TRUE(WaitUntil([&] {
        return std::filesystem::exists(s.dir + "/config/autostart/app.quillon.free.desktop");
    }));
    s.ClickAfter("showwarnings", "warnings");

    // Every panel folded: the window shrinks to fit; then the settings dragged to the top.
    for (const char* fold :
         {"foldspammer", "foldkeyspam", "foldtracker", "foldprofile", "foldui"}) {
        s.ClickAfter("top", fold);
    }
    EXPECT_TRUE(WaitUntil([&] { return s.WindowSize().second < 560; }));
    s.Step("top");
    const auto from = s.Places().at("gripui"), to = s.Places().at("gripspammer");
    s.MoveTo(from.first, from.second);
    PhysicalButton(s.input, 1, true);
    for (int i = 1; i <= 12; ++i) {
        s.MoveTo(from.first, from.second + (to.second - 12 - from.second) * i / 12);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    PhysicalButton(s.input, 1, false);
    EXPECT_TRUE(
        StepUntil(s, "order", "panel-ui panel-spammer panel-keyspam panel-tracker panel-profile"));
    NoPageErrors(s);
    EXPECT_EQ(s.Quit(), 0) << s.ErrTail();

    // What the program kept.
    const std::string settings = Slurp(s.DataFile("appsettings.txt"));
    for (const char* line :
         {"alwaysOnTop=1\n", "launchOnStartup=1\n", "showWarnings=0\n",
          "minimizedPanels=panel-keyspam,panel-profile,panel-spammer,panel-tracker,panel-ui\n",
          "panelOrder=panel-ui,panel-spammer,panel-keyspam,panel-tracker,panel-profile\n"}) {
        EXPECT_NE(settings.find(line), std::string::npos) << line << settings;
    }
    EXPECT_NE(settings.find("fast-clicks"), std::string::npos);
    const std::vector<std::string> session = Fields(Slurp(s.DataFile("session.dat")), '\n');
    ASSERT_GE(session.size(), 4u);
    const std::vector<std::string> full = Fields(session[0].substr(9), ',');
    ASSERT_EQ(full.size(), 36u) << session[0];
    const std::vector<std::string> clicker(full.begin(), full.begin() + 11);
    EXPECT_EQ(clicker, Fields("0,0,0,50,0,1,1,10,1,1050,750", ','));
    EXPECT_EQ(full[19] + full[20] + full[22], "119118117");  // hotkeys back to F8, F7, F6
    EXPECT_EQ(full[31] + " " + full[32], "65|66 1");         // A and B, as a chord
    EXPECT_EQ(session[1], "CURRENT:0");
    EXPECT_EQ(session[2], "PROFILE:Default Tracking Profile");
    const auto game = std::find(session.begin(), session.end(), "PROFILE:game");
    ASSERT_NE(game, session.end());
    EXPECT_GT(session.end() - game, 2) << "the recording is kept in the game profile";
    EXPECT_NE(s.StatusText().find("\"state\":\"Idle\""), std::string::npos);
}

TEST_F(MainPage, TheUpdateBannerShowsEveryCallOfTheProgram) {
    PageSession s("update");
    Open(s);
    EXPECT_EQ(s.Step("update"), "Version 1.2.0 is available (you have 1.0.1)");
    s.Step("top");
    Shots(s, "update");
    const struct {
        const char* step;
        const char* note;
    } kCalls[] = {
        {"progress", "Downloading version 1.2.0 / 1.0 MB of 4.0 MB (25%) / meter 25"},
        {"unknown", "Downloading version 1.2.0 / 512 KB downloaded / indeterminate"},
        {"installing",
         "Installing… / Quillon restarts by itself when the new version is in place. / "
         "indeterminate"},
        {"update", "Version 1.2.0 is available (you have 1.0.1)"},
    };
    for (const auto& call : kCalls) {
        EXPECT_EQ(s.Step(call.step), call.note) << call.step;
        if (std::string(call.step) == "progress") Shots(s, "update-progress");
    }
    s.ClickAfter("top", "install");
    const std::string failed = s.Step("banner");
    EXPECT_EQ(failed.rfind("Update failed", 0), 0u) << failed;
    Shots(s, "update-failed");
    NoPageErrors(s);
    EXPECT_EQ(s.Quit(), 0) << s.ErrTail();
}

TEST_F(MainPage, KeyboardReachesEveryControlWithARingAndEveryFieldHasALabel) {
    PageSession s("keys");
    s.env.extra.push_back({"GTK_THEME", "Adwaita:dark"});  // the desktop prefers dark
    Open(s);
    EXPECT_EQ(s.Step("theme"), "dark");
    s.Step("expand");
    for (const char* theme : {"light", "dark"}) {
        SCOPED_TRACE(theme);
        s.Step(theme);
        for (const char* tab : {"tabgeneral", "tabhotkeys"}) {
            SCOPED_TRACE(tab);
            s.ClickAfter("showui", tab);
            const int stops = std::stoi(s.Step("walkstart"));
            EXPECT_GT(stops, 10);
            for (int i = 0; i < stops; ++i) s.Tap(kTab);
            EXPECT_EQ(s.Step("walkend"), "missed none noring none");
            EXPECT_EQ(s.Step("labels"), "unlabelled none nameless none");
            EXPECT_EQ(s.Step("contrast"), "ok");
        }
    }
    NoPageErrors(s);
    EXPECT_EQ(s.Quit(), 0) << s.ErrTail();
}

// The Humanize folds: folded away until used, a setting typed in reaches appsettings.txt, and a
// rectangle dragged out over another program becomes the click area; both themes pass contrast
// with the folds open.
TEST_F(MainPage, HumanizeFoldsOpenWhenUsedAndTheAreaIsDraggedOut) {
    PageSession s("humanize");
    std::ofstream(s.DataFile("appsettings.txt")) << "keyJitter=3\n";
    Open(s);
    const auto fileHas = [&](const std::string& line) {
        return WaitUntil(
            [&] { return Slurp(s.DataFile("appsettings.txt")).find(line) != std::string::npos; });
    };
    StepUntil(s, "folds", "ac-hz closed ks-hz open");

    s.Step("expand");
    s.Step("showhumanize");
    s.Click("hzjitter");
    StepUntil(s, "focused", "ac-hz-jitter");
    PhysicalKey(s.input, kControl, true);
    s.Tap(kA);
    PhysicalKey(s.input, kControl, false);
    s.Type("7");
    EXPECT_TRUE(fileHas("\nclickJitter=7\n"));
    s.Step("showhumanize");
    s.Click("hzrect");
    EXPECT_TRUE(fileHas("\narea=1\n"));

    Probe other;
    ASSERT_TRUE(StartProbe(other, QLN_PROBE_WINDOW, 800, 550, 400, 300));
    s.Focus();
    s.Step("showhumanize");
    s.Click("hzpick");
    StepUntil(s, "hzpicking", "picking");
    // The tap asks where a press was; each step waits for it to have asked.
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
    PhysicalMoveTo(s.input, 1000, 700);
    pause();
    PhysicalButton(s.input, 1, true);
    pause();
    PhysicalMoveTo(s.input, 950, 640);
    PhysicalMoveTo(s.input, 900, 600);
    PhysicalButton(s.input, 1, false);
    StepUntil(s, "hzarea", "Within 100 × 100 at 900_ 600");  // the probe writes commas as _
    EXPECT_TRUE(fileHas("\nareaX=900\nareaY=600\nareaWidth=100\nareaHeight=100\n"));
    // The drag was the page's: the other program saw none of it.
    for (const auto& line : ProbeLines(other))
        EXPECT_EQ(line.find("Button"), std::string::npos) << line;
    StopProbe(other);

    s.Step("showhumanize");
    for (const char* theme : {"light", "dark"}) {
        s.Step(theme);
        EXPECT_TRUE(s.Screenshot(std::string("main-humanize-") + theme));
        EXPECT_EQ(s.Step("contrast"), "ok") << theme;
    }
    EXPECT_EQ(s.Step("labels"), "unlabelled none nameless none");
    NoPageErrors(s);
    EXPECT_EQ(s.Quit(), 0) << s.ErrTail();
}

}  // namespace
