// The boot page in the real program: each mode on an X server without XTEST (the program picks
// permissions, or reset once a grant was recorded), what it found and the desktop's settings
// name, a screenshot of each, and that it stays; where input works, that it goes on by itself.
#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"
#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <cstdlib>
#include <fstream>

namespace {

// Tells the test what the page shows once its first check has come back.
const std::string kShown = R"(
addEventListener("load", () => {
  const modes = ["permissions", "reset", "update"];
  const timer = setInterval(() => {
    const mode = modes.find(m => !document.getElementById("mode-" + m).hidden) || "none";
    const checks = ["check-xtest", "check-xinput"].map(id => document.getElementById(id).className);
    if (mode !== "update" && !checks[0]) return;
    clearInterval(timer);
    const words = document.body.innerText.includes("System " + "Settings") ? "system-settings" : "settings";
    window.markWarningSeen(["shown", mode, checks.filter(Boolean).join("+") || "nochecks", words].join(" "));
    // Still here after its next check: input that cannot work keeps the page up.
    setTimeout(() => window.markWarningSeen("still " + mode), 2500);
  }, 100);
});
)";

TEST(BootPage, EachModeSaysWhatIsMissingAndWhatToDo) {
    const std::string mainDisplay = getenv("DISPLAY");
    PrivateXvfb bare;
    ASSERT_TRUE(StartPrivateXvfb(bare, {"-extension", "XTEST"}));
    for (const std::vector<std::string>& row : TableRows("boot_modes.txt", 4)) {
        const std::string name = row[0] + (row[2] == "1" ? "-dark" : "-light");
        SCOPED_TRACE(name);
        PageSession s(name);
        if (row[2] == "1") s.env.extra.push_back({"GTK_THEME", "Adwaita:dark"});
        if (row[1] == "1") {
            std::ofstream(s.DataFile("macpermissions.txt"))
                << "accessibilityGranted=app.quillon.free\n";
        }
        // The update mode shown instead of the one the program chose; the marker stays for it.
        std::string boot = BuiltPage("mac-ui/boot.html");
        const std::string marker = "\"__QLN_BOOT_MODE__\"";
        if (row[0] == "update")
            boot.replace(boot.find(marker), marker.size(), "\"update\" /*__QLN_BOOT_MODE__*/");
        ASSERT_TRUE(s.Open(BuiltPage("ui/index.html"), WithProbe(boot, kShown)));
        EXPECT_TRUE(s.WaitReport(row[3])) << testing::PrintToString(s.Reports("shown"));
        EXPECT_TRUE(s.WaitReport("still " + row[0]));
        s.Screenshot("boot-" + name);
        s.Finish();
    }
    StopPrivateXvfb(bare);
    setenv("DISPLAY", mainDisplay.c_str(), 1);
}

// With XTEST and XInput there, the page finds everything and asks to go on: the program loads
// the main page, which here is the boot page again, so it comes back as a fresh load.
TEST(BootPage, GoesOnByItselfOnceInputIsReady) {
    PageSession s("ready");
    const std::string loads = R"(markWarningSeen("load " + Math.round(performance.timeOrigin));)";
    const std::string page = WithProbe(BuiltPage("mac-ui/boot.html"), loads);
    ASSERT_TRUE(s.Open(page, page));
    EXPECT_TRUE(WaitUntil([&] { return s.Reports("load ").size() >= 2; }, 30000, 100));
    s.Finish();
}

}  // namespace
