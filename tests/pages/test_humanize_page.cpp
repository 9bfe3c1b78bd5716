// The Humanize folds of the main page in the real program: folded away until used, a setting
// typed in reaches appsettings.txt, and a rectangle dragged out over another program becomes
// the click area; both themes pass contrast with the folds open.
#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"
#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/wait.h"

#include <fstream>
#include <thread>

namespace {

using namespace keys;

TEST(HumanizePage, FoldsOpenWhenUsedAndTheAreaIsDraggedOut) {
    WindowManager manager;
    ASSERT_TRUE(StartWindowManager(manager));
    PageSession s("humanize");
    std::ofstream(s.DataFile("appsettings.txt")) << "keyJitter=3\n";
    s.Start(s.MakeBundle(WithProbe(BuiltPage("ui/index.html")), BuiltPage("mac-ui/boot.html")));
    ASSERT_NE(s.window, None) << s.ErrTail();
    ASSERT_TRUE(s.WaitStatus("state", "\"Idle\"")) << s.ErrTail();
    s.Focus();
    const auto settled = [&](const std::string& step, const std::string& note) {
        std::string last;
        const bool ok = WaitUntil([&] { return (last = s.Step(step)) == note; }, 20000, 100);
        EXPECT_TRUE(ok) << step << ": " << last;
    };
    const auto fileHas = [&](const std::string& line) {
        return WaitUntil(
            [&] { return Slurp(s.DataFile("appsettings.txt")).find(line) != std::string::npos; });
    };
    settled("folds", "ac-hz closed ks-hz open");

    s.Step("expand");
    s.Step("showhumanize");
    s.Click("hzjitter");
    settled("focused", "ac-hz-jitter");
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
    settled("hzpicking", "picking");
    // The tap asks where a press was; each step waits for it to have asked.
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
    PhysicalMoveTo(s.input, 1000, 700);
    pause();
    PhysicalButton(s.input, 1, true);
    pause();
    PhysicalMoveTo(s.input, 950, 640);
    PhysicalMoveTo(s.input, 900, 600);
    PhysicalButton(s.input, 1, false);
    settled("hzarea", "Within 100 × 100 at 900_ 600");  // the probe writes commas as _
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
    for (const std::string& error : s.PageErrors()) ADD_FAILURE() << error;
    EXPECT_EQ(s.Quit(), 0) << s.ErrTail();
    StopWindowManager(manager);
}

}  // namespace
