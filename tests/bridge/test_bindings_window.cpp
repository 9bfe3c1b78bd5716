// The bindings called from a page in the real web view with the edge cases the program's pages
// never send: after each answer the test checks the exact result and what changed in the state.
// The calls on a user's path are the page tests' in tests/pages. Bindings answer on the UI thread.
#include <gtest/gtest.h>

#include "bridge/bindings.h"
#include "platform/window.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "store/codecs.h"
#include "store/profiles.h"
#include "store/settings_json.h"
#include "store/status.h"
#include "tests/support/files.h"
#include "tests/support/fresh_state.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Check = std::function<void()>;

const fs::path kDir = fs::temp_directory_path() / ("qln-bind-" + std::to_string(getpid()));

struct Row {
    const char* call;                    // page expression whose promise gives the result
    Check check = nullptr;               // what changed in the state
    std::string expected = "undefined";  // the result as the page's JSON writes it
};

// Parts of the JSON texts the page reads the settings and the status from.
Check InSettings(const std::string& part) {
    return [part] { EXPECT_NE(BuildSettingsJson().find(part), std::string::npos) << part; };
}
Check InStatus(const std::string& part) {
    return [part] {
        std::lock_guard<std::mutex> lock(profileMutex);
        EXPECT_NE(BuildTrackerStatusJson("[]").find(part), std::string::npos) << part;
    };
}
// All the links the stand-in xdg-open was given so far, a line each.
Check Opened(const std::string& links) {
    return [links] {
        std::string seen;
        EXPECT_TRUE(WaitUntil([&] {
            seen.clear();
            for (const std::string& line : Split(Slurp((kDir / "opened.txt").string()), "\n"))
                seen += line.empty() ? "" : line.substr(0, line.find('\t')) + "\n";
            return seen == links;
        })) << seen;
    };
}

std::vector<Row> Rows() {
    const std::string docs = "https://quillon.app/docs.html", targets = "\"keySpamTargets\":";
    const std::string links = docs + "\nhttps://quillon.app/community\n";
    return {
        // Numbers read like the standard conversion (the store's tests cover each field's
        // rules); a field that is none ends the update there, and too few fields change nothing.
        {"updateKeySpam(0, 0, 1, '250', 0, 7)",
         InSettings(R"("ksh":0,"ksm":0,"kss":1,"ksms":250,"ksRptMode":0,"ksRptTimes":7,)")},
        {"updateRecorder(0, 1, 0, 1, 1, '2.5', 1, 750)",
         InSettings(R"("tmv":false,"tclk":true,"tscr":false,"tkey":true,"trel":true,"tspd":2.5,)"
                    R"("tloop":true,"tloopMs":750,)")},
        // A speed the session file could not keep.
        {"updateRecorder('1,1,1,1,0,nan,0,5')",
         InSettings(R"("tmv":true,"tclk":true,"tscr":true,"tkey":true,"trel":false,"tspd":2.5,)"
                    R"("tloop":true,"tloopMs":750,)")},
        {"updateRecorder('0,0,0,0,0,1,0')", InSettings(R"("tmv":true,)")},
        {"setHoldModes(1, 0)", InSettings(R"("holdAuto":true,"holdKeySpam":false)")},
        {"setHoldModes('0,x')", InSettings(R"("holdAuto":true,)")},
        // A target by its place in the list; a place that is no number or not there is none.
        {"removeKeySpamTarget('x')", InStatus(targets + R"(["A","B","C"])")},
        {"removeKeySpamTarget(3)", InStatus(targets + R"(["A","B","C"])")},
        {"removeKeySpamTarget('1st')", InStatus(targets + R"(["A","C"])")},
        // Chords only for exactly "1".
        {"setKeySpamChordMode('1')", InStatus(R"("keySpamChord":true)")},
        {"setKeySpamChordMode('1,')", InStatus(R"("keySpamChord":false)")},
        {"reassignKey('Play')", InStatus(R"("reassigning":"")")},
        {"openLink('Docs')"},
        {"openLink('docs')", Opened(docs + "\n")},
        {"openLink('discord')", Opened(links)},
        {"qlnMacRequestPermission('')"},
        {"qlnMacRequestPermission('input')", Opened(links + docs + "#input-monitoring\n")},
        {"qlnMacOpenSoftwareUpdate()",
         Opened(links + docs + "#input-monitoring\n" + docs + "#webkitgtk\n")},
        {"startUpdate()", [] { EXPECT_TRUE(updateInstallRunning.exchange(false)); },
         "\"An update is already in progress.\""},
        {"Promise.all([stopSpammer(), startRecording(), stopRecording(), continueRecording(), "
         "undoContinue(), startPlayback(), stopPlayback()])",
         [] {
             for (std::atomic<bool>* flag :
                  {&triggerAutoClickStop, &triggerRecordStart, &triggerRecordStop,
                   &triggerRecordContinue, &triggerUndoContinue, &triggerPlayStart,
                   &triggerPlayStop})
                 EXPECT_TRUE(flag->exchange(false));
         },
         "[null,null,null,null,null,null,null]"},
        // Names outside the table, and the table's names in other cases, are never answered.
        {"settles(__webview__.call('OpenLink', 'docs'))", nullptr, "\"pending\""},
        {"settles(__webview__.call('notInTable'))", nullptr, "\"pending\""},
        {"typeof GetTrackerStatus", nullptr, "\"undefined\""},
    };
}

// The page makes the calls in order and reports each result; C++ checks after each report.
std::string PageFor(const std::vector<Row>& rows) {
    std::string list;
    for (const Row& row : rows) list += "  async () => " + std::string(row.call) + ",\n";
    return R"(<!doctype html><html><body><script>
const settles = promise =>
  Promise.race([promise, new Promise(done => setTimeout(() => done("pending"), 300))]);
const rows = [
)" + list + R"(];
(async () => {
  for (let i = 0; i < rows.length; i++) {
    await check(i, await rows[i]().then(value => String(JSON.stringify(value)),
                                        error => "threw " + error));
  }
  await finish();
})();
</script></body></html>)";
}

TEST(BindingsInWebView, EveryRowAnswersAndActsAsThePageExpects) {
    fs::remove_all(kDir);
    setenv("XDG_DATA_HOME", (kDir / "data").c_str(), 1);
    InstallFakeXdgOpen(kDir.string());
    ResetToOneDefaultProfile();
    updateInstallRunning = true;  // an install under way: a second one is refused at once
    keySpamTargetCount = 0;
    for (int vk : {65, 66, 67}) keySpamTargets[keySpamTargetCount++] = vk;

    OsWindow* window = OsWindowCreate(false);
    ASSERT_NE(window, nullptr);
    g_MasterWindow = window;
    ASSERT_TRUE(RegisterBindings(window));
    const std::vector<Row> rows = Rows();
    size_t checked = 0;
    const std::thread::id ui = std::this_thread::get_id();
    OsWindowBind(window, "check", [&](const std::string& id, const std::string& request) {
        const size_t index = std::stoul(request.substr(1));
        ASSERT_LT(index, rows.size());
        SCOPED_TRACE(rows[index].call);
        EXPECT_EQ(std::this_thread::get_id(), ui);
        EXPECT_EQ(request, "[" + std::to_string(index) + "," +
                               JsonEscapeForBind(rows[index].expected) + "]");
        if (rows[index].check) rows[index].check();
        checked = index + 1;
        OsWindowReturn(window, id, true, "");
    });
    EXPECT_FALSE(OsWindowBind(window, "check", [](const std::string&, const std::string&) {}));
    OsWindowBind(window, "finish", [&](const std::string& id, const std::string&) {
        OsWindowReturn(window, id, true, "");
        OsWindowTerminate(window);
    });
    ASSERT_TRUE(OsWindowSetHtml(window, PageFor(rows)));
    OsWindowRun(window);
    g_MasterWindow = nullptr;
    OsWindowDestroy(window);
    EXPECT_EQ(checked, rows.size());
    fs::remove_all(kDir);
}

}  // namespace
