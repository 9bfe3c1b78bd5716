// The bindings called from a page in the real web view: the page makes each call with the edge
// cases of its reading, and after each answer the test checks the exact result and what changed
// in the state. The calls the main page makes on a user's path (profiles, settings, warnings,
// panels, hotkeys) are its own test's in tests/pages, the apply functions behind them the store's.
// Bindings run on the UI thread, and a task dispatched from another thread reaches it there.
#include <gtest/gtest.h>

#include "bridge/bindings.h"
#include "platform/tap.h"
#include "platform/window.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "store/profiles.h"
#include "store/settings_json.h"
#include "store/status.h"
#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/fresh_state.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libjavascriptcoregtk-6.0.so\nleak:libwebkitgtk-6.0.so\n"
           "leak:libgtk-4.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n";
}

namespace {

namespace fs = std::filesystem;

const fs::path kDir = fs::temp_directory_path() / ("qln-bind-" + std::to_string(getpid()));

struct Step {
    const char* call;      // page expression whose promise gives the result
    std::string expected;  // the result as the page saw it: JSON text, or undefined
    std::function<void()> check = [] {};
    std::function<std::string()> expectedNow = nullptr;  // a result known only at call time
};

// The links the stand-in xdg-open was given, a line each.
std::string Opened() {
    std::istringstream calls(Slurp((kDir / "opened.txt").string()));
    std::string links;
    for (std::string line; std::getline(calls, line);)
        links += line.substr(0, line.find('\t')) + "\n";
    return links;
}

bool Consume(std::atomic<bool>& flag) { return flag.exchange(false); }

std::vector<Step> Steps() {
    const auto targets = [](std::vector<int> vks) {
        return [vks] {
            ASSERT_EQ(keySpamTargetCount.load(), static_cast<int>(vks.size()));
            for (size_t i = 0; i < vks.size(); ++i) EXPECT_EQ(keySpamTargets[i].load(), vks[i]);
        };
    };
    return {
        {"resizeWindow(640, 480, 9)", "undefined"},
        {"waitFor(() => innerWidth === 640 && innerHeight === 480, 10000)", "true"},
        {"updateSpammer(1, 2, 3, '4px', 1, 1, 0, 5, 1)", "undefined",
         [] {
             EXPECT_EQ(autoClickIntervalHours, 1);
             EXPECT_EQ(autoClickIntervalMs, 4);
             EXPECT_EQ(autoClickerButtonIdx, 1);
             EXPECT_EQ(autoClickRepeatTimes, 5);
             EXPECT_EQ(autoClickLocationMode, 1);
         }},
        {"startSpammer()", "undefined", [] { EXPECT_TRUE(Consume(triggerAutoClickStart)); }},
        {"stopSpammer()", "undefined", [] { EXPECT_TRUE(Consume(triggerAutoClickStop)); }},
        {"updateKeySpam(0, 0, 1, '250', 0, 7)", "undefined",
         [] {
             EXPECT_EQ(keySpamIntervalSecs, 1);
             EXPECT_EQ(keySpamIntervalMs, 250);
             EXPECT_EQ(keySpamRepeatTimes, 7);
         }},
        {"removeKeySpamTarget(1)", "undefined", targets({65, 67})},
        {"removeKeySpamTarget('x')", "undefined", targets({65, 67})},
        {"removeKeySpamTarget(2)", "undefined", targets({65, 67})},
        {"removeKeySpamTarget('1st')", "undefined", targets({65})},
        {"setKeySpamChordMode(1)", "undefined", [] { EXPECT_TRUE(keySpamChordMode); }},
        {"setKeySpamChordMode(true)", "undefined", [] { EXPECT_FALSE(keySpamChordMode); }},
        {"setKeySpamChordMode('1')", "undefined", [] { EXPECT_TRUE(keySpamChordMode); }},
        {"setKeySpamChordMode('1,')", "undefined", [] { EXPECT_FALSE(keySpamChordMode); }},
        {"getAppSettings()", "", [] { EXPECT_TRUE(g_MainPageReady); }, BindGetAppSettings},
        {"openLink('Docs')", "undefined"},
        {"openLink('docs')", "undefined",
         [] {
             EXPECT_TRUE(WaitUntil([] { return !Opened().empty(); }));
             EXPECT_EQ(Opened(), "https://quillon.app/docs.html\n");
         }},
        {"openLink('discord')", "undefined",
         [] {
             EXPECT_TRUE(WaitUntil([] { return Opened().size() > 30; }));
             EXPECT_EQ(Opened(), "https://quillon.app/docs.html\nhttps://quillon.app/community\n");
         }},
        {"getTrackerStatus()", "", [] {},
         [] {
             std::lock_guard<std::mutex> lock(profileMutex);
             const std::string status = BuildTrackerStatusJson("[]");
             EXPECT_NE(status.find("\"restore\":[]"), std::string::npos);
             // Written by the status writer right after the answer.
             EXPECT_TRUE(WaitUntil([&] { return Slurp(GetTrackerStatusFilePath()) == status; }));
             return status;
         }},
        {"startUpdate()", "\"Update failed: the update is no longer available. Try again later.\"",
         [] { EXPECT_FALSE(updateInstallRunning); }},
        {"(updateBusy(), startUpdate())", "\"An update is already in progress.\"",
         [] { EXPECT_TRUE(updateInstallRunning.exchange(false)); }},
        {"reassignKey('Play')", "undefined", [] { EXPECT_EQ(currentReassign, kReassignNone); }},
        {"reassignKey('play')", "undefined",
         [] { EXPECT_EQ(currentReassign.exchange(kReassignNone), kReassignPlay); }},
        {"qlnMacPermissionStatus()", "{\"accessibility\":true,\"input\":true,\"ready\":true}",
         [] { EXPECT_TRUE(OsInputTapRunning()); }},
        {"qlnMacRequestPermission('')", "undefined"},
        {"qlnMacRequestPermission('input')", "undefined",
         [] {
             EXPECT_TRUE(WaitUntil([] { return Opened().find("#input") != std::string::npos; }));
         }},
        {"qlnMacOpenSoftwareUpdate()", "undefined",
         [] {
             EXPECT_TRUE(WaitUntil([] { return Opened().find("#webkit") != std::string::npos; }));
         }},
        {"qlnMacAlert('Saved, \"twice\"')", "undefined"},
        {"waitFor(alertShown, 10000)", "true"},
        {"startRecording()", "undefined", [] { EXPECT_TRUE(Consume(triggerRecordStart)); }},
        {"stopRecording()", "undefined", [] { EXPECT_TRUE(Consume(triggerRecordStop)); }},
        {"continueRecording()", "undefined", [] { EXPECT_TRUE(Consume(triggerRecordContinue)); }},
        {"undoContinue()", "undefined", [] { EXPECT_TRUE(Consume(triggerUndoContinue)); }},
        {"startPlayback()", "undefined", [] { EXPECT_TRUE(Consume(triggerPlayStart)); }},
        {"stopPlayback()", "undefined", [] { EXPECT_TRUE(Consume(triggerPlayStop)); }},
        {"updateRecorder(0, 1, 0, 1, 1, '2.5', 1, 750)", "undefined",
         [] {
             EXPECT_EQ(BuildSettingsJson().substr(BuildSettingsJson().find("\"tmv\"")),
                       "\"tmv\":false,\"tclk\":true,\"tscr\":false,\"tkey\":true,\"trel\":true,"
                       "\"tspd\":2.5,\"tloop\":true,\"tloopMs\":750," +
                           BuildSettingsJson().substr(BuildSettingsJson().find("\"ksh\"")));
         }},
        // A speed the session file could not keep ends the update there; too few fields change
        // nothing.
        {"updateRecorder('1,1,1,1,0,nan,0,5')", "undefined",
         [] {
             EXPECT_TRUE(bRecordMouseMovement);
             EXPECT_FALSE(bUseRelativeMouse);
             EXPECT_EQ(fPlaybackSpeed, 2.5f);
             EXPECT_TRUE(bLoopSequence);
         }},
        {"updateRecorder('0,0,0,0,0,1,0')", "undefined", [] { EXPECT_TRUE(bRecordKeyboard); }},
        {"setHoldModes(1, 0)", "undefined",
         [] {
             EXPECT_TRUE(g_HoldModeAuto);
             EXPECT_FALSE(g_HoldModeKeySpam);
         }},
        {"setHoldModes('0,x')", "undefined", [] { EXPECT_TRUE(g_HoldModeAuto); }},
        // A refusal rejects the call's promise; the arguments arrive as the JSON array.
        {"refuse(1, 'two', {three: [3]}, null)", "threw no"},
        // Names outside the table, and the table's names in other cases, are never answered.
        {"settles(__webview__.call('OpenLink', 'docs'))", "\"pending\""},
        {"settles(__webview__.call('notInTable'))", "\"pending\""},
        {"typeof GetTrackerStatus", "\"undefined\""},
    };
}

// The page runs the steps in order and reports each result; C++ checks after each report.
std::string PageFor(const std::vector<Step>& steps) {
    std::string list;
    for (const Step& step : steps) list += "  async () => " + std::string(step.call) + ",\n";
    return R"(<!doctype html><html><body><script>
const sleep = ms => new Promise(done => setTimeout(done, ms));
async function waitFor(test, ms) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(20)) {
    if (await test()) return true;
  }
  return !!(await test());
}
const settles = promise => Promise.race([promise, sleep(300).then(() => "pending")]);
const steps = [
)" + list + R"(];
(async () => {
  for (let i = 0; i < steps.length; i++) {
    let text;
    try {
      const value = await steps[i]();
      text = value === undefined ? "undefined" : JSON.stringify(value);
    } catch (error) { text = "threw " + error; }
    await check(i, text);
  }
  await qlnMacContinue();
})();
</script></body></html>)";
}

TEST(BindingsInWebView, EveryRowAnswersAndActsAsThePageExpects) {
    fs::remove_all(kDir);
    setenv("XDG_DATA_HOME", (kDir / "data").c_str(), 1);
    InstallFakeXdgOpen(kDir.string());
    // No page files here: continuing loads the missing-page text, which calls nothing.
    ASSERT_EQ(chdir(kDir.c_str()), 0);
    ResetToOneDefaultProfile();
    ResetAppSettingsForTest();
    // A plain http manifest is never fetched: the install finds no update without the network.
    g_UpdateManifestOverride = "http://quillon.app/update/linux-free.json";
    keySpamTargetCount = 0;
    for (int vk : {65, 66, 67}) keySpamTargets[keySpamTargetCount++] = vk;

    OsWindow* window = OsWindowCreate(false);
    ASSERT_NE(window, nullptr);
    g_MasterWindow = window;
    g_MasterEvalFn = [](const std::string&) {};
    ASSERT_TRUE(RegisterBindings(window));
    OsWindowSetSize(window, 420, 560, OsWindowSizeHint::kNone);

    std::vector<Step> steps = Steps();
    size_t checked = 0;
    std::thread closer;
    const std::thread::id ui = std::this_thread::get_id();
    OsWindowBind(window, "refuse", [&](const std::string& id, const std::string& request) {
        EXPECT_EQ(request, R"([1,"two",{"three":[3]},null])");
        OsWindowReturn(window, id, false, R"("no")");
    });
    OsWindowBind(window, "updateBusy", [&](const std::string& id, const std::string&) {
        updateInstallRunning = true;
        OsWindowReturn(window, id, true, "");
    });
    OsWindowBind(window, "check", [&](const std::string& id, const std::string& request) {
        const size_t index = std::stoul(request.substr(1));
        ASSERT_LT(index, steps.size());
        const Step& step = steps[index];
        SCOPED_TRACE(step.call);
        EXPECT_EQ(std::this_thread::get_id(), ui);
        // The arguments as the page's JSON writes them.
        const std::string result = step.expectedNow ? step.expectedNow() : step.expected;
        EXPECT_EQ(request, "[" + std::to_string(index) + "," + JsonEscapeForBind(result) + "]");
        step.check();
        checked = index + 1;
        OsWindowReturn(window, id, true, "");
    });
    // The alert runs modally after its call returned; close it the way a window manager would.
    OsWindowBind(window, "alertShown", [&](const std::string& id, const std::string&) {
        const Window alert = FindWindowNamed("Quillon");
        if (alert != None) SendDeleteWindow(alert);
        OsWindowReturn(window, id, true, alert != None ? "true" : "false");
    });
    EXPECT_FALSE(OsWindowBind(window, "check", [](const std::string&, const std::string&) {}));
    // Continuing swaps the test page for the main page, where a script from another thread ends
    // the loop.
    std::atomic<bool> finished{false};
    OsWindowBind(window, "finish", [&](const std::string& id, const std::string& request) {
        finished = request == "[\"ui\"]";
        OsWindowReturn(window, id, true, "");
        OsWindowTerminate(window);
    });
    closer = std::thread([&] {
        WaitUntil([&] { return checked == steps.size() && !g_MainPageReady; }, 120000);
        // Asked again until it lands: a script sent while the page loads may be lost.
        WaitUntil(
            [&] {
                OsWindowDispatch(window, [&] {
                    OsWindowEval(window, std::this_thread::get_id() == ui ? "finish('ui')" : "0");
                });
                return finished.load();
            },
            30000, 200);
        if (!finished) OsWindowDispatch(window, [window] { OsWindowTerminate(window); });
    });
    ASSERT_TRUE(OsWindowSetHtml(window, PageFor(steps)));
    OsWindowRun(window);
    closer.join();
    g_MasterWindow = nullptr;
    OsWindowDestroy(window);
    OsStopInputTap();
    EXPECT_EQ(checked, steps.size());
    EXPECT_TRUE(finished);
    fs::remove_all(kDir);
}

}  // namespace
