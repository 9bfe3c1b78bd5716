// The web view window under a private Xvfb: a page calls bound functions, gets their answers,
// and a task dispatched from another thread reaches the UI thread.
#include <gtest/gtest.h>

#include "platform/window.h"

#include <string>
#include <thread>
#include <vector>

// Fontconfig and JavaScriptCore make one-time allocations that they never free; the
// leak check in sanitizer builds stays on for everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libjavascriptcoregtk-6.0.so\n";
}

namespace {

// The page awaits one call answered with a value and one refused, then reports both.
constexpr const char* kPage = R"(<!doctype html>
<html><body style="background:#2b6cb0;color:white;font:32px sans-serif">
<p id="marker">Quillon window test</p>
<script>
async function main() {
  const answer = await ping(1, "two", {three: [3]}, null);
  let refused = "";
  try { await ping("refuse"); } catch (error) { refused = error; }
  await report(answer, refused);
}
main().catch(error => report("failed", String(error)));
</script>
</body></html>)";

struct Calls {
    std::thread::id uiThread;
    std::vector<std::string> pings, reports, finishes;
    bool bindingsOnUiThread = true;
    bool taskOnUiThread = false;
    std::thread helper;
};

TEST(Window, PageCallsBindingsAndTaskReachesUiThread) {
    OsWindow* window = OsWindowCreate(false);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(OsWindowNativeWindow(window), nullptr);
    EXPECT_TRUE(OsWindowSetTitle(window, "Quillon window test"));
    EXPECT_TRUE(OsWindowSetSize(window, 480, 320, OsWindowSizeHint::kNone));

    Calls calls;
    calls.uiThread = std::this_thread::get_id();
    const auto onUi = [&] {
        if (std::this_thread::get_id() != calls.uiThread) calls.bindingsOnUiThread = false;
    };
    ASSERT_TRUE(OsWindowBind(window, "ping", [&](const std::string& id, const std::string& req) {
        onUi();
        calls.pings.push_back(req);
        if (req == R"(["refuse"])") {
            OsWindowReturn(window, id, false, R"("refused")");
        } else {
            OsWindowReturn(window, id, true, R"({"pong":true,"sum":3})");
        }
    }));
    EXPECT_FALSE(OsWindowBind(window, "ping", [](const std::string&, const std::string&) {}));
    ASSERT_TRUE(OsWindowBind(window, "report", [&](const std::string& id, const std::string& req) {
        onUi();
        calls.reports.push_back(req);
        OsWindowReturn(window, id, true, "");
        // From another thread, the way the engine's threads will reach the page.
        calls.helper = std::thread([&] {
            OsWindowDispatch(window, [&] {
                calls.taskOnUiThread = std::this_thread::get_id() == calls.uiThread;
                OsWindowEval(window, "finish(document.getElementById('marker').textContent)");
            });
        });
    }));
    ASSERT_TRUE(OsWindowBind(window, "finish", [&](const std::string& id, const std::string& req) {
        onUi();
        calls.finishes.push_back(req);
        OsWindowReturn(window, id, true, "");
        OsWindowTerminate(window);
    }));
    ASSERT_TRUE(OsWindowSetHtml(window, kPage));

    EXPECT_EQ(OsWindowRun(window), MainLoopEnd::kTerminated);
    if (calls.helper.joinable()) calls.helper.join();
    OsWindowDestroy(window);

    EXPECT_TRUE(calls.bindingsOnUiThread);
    EXPECT_TRUE(calls.taskOnUiThread);
    EXPECT_EQ(calls.pings,
              (std::vector<std::string>{R"([1,"two",{"three":[3]},null])", R"(["refuse"])"}));
    EXPECT_EQ(calls.reports, (std::vector<std::string>{R"([{"pong":true,"sum":3},"refused"])"}));
    EXPECT_EQ(calls.finishes, (std::vector<std::string>{R"(["Quillon window test"])"}));
}

}  // namespace
