// The program's window as a user meets it: the script every page gets, its place and level under
// a real window manager, a second start, and every way of quitting. The boot page, opened when
// input cannot work, is driven in tests/pages.
#include "tests/app/program_test.h"
#include "tests/support/desktop.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/xi2_observer.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

namespace {

constexpr int kControl = 37, kQ = 24;
const std::string kSortableTag = "<script src=\"vendor/Sortable.min.js\"></script>";

// Main page: the sortable script, the start-up script's effects, and an alert. It reports what
// it sees as warning ids, which the program saves at once.
const std::string kMainPage = "<!doctype html><html><head><title>main</title>" + kSortableTag +
                              R"(</head><body>
<label><input type="checkbox" id="opt-launch-startup"> Start with Windows</label>
<script>
const report = id => window.markWarningSeen ? markWarningSeen(id) : undefined;
addEventListener("load", async () => {
  await report("sortable-" + (window.sortableRan ? "inlined" : "external"));
  const event = new MouseEvent("contextmenu", {cancelable: true, bubbles: true});
  document.body.dispatchEvent(event);
  await report("contextmenu-" + (event.defaultPrevented ? "blocked" : "open"));
  const faces = [...document.styleSheets].flatMap(sheet => [...sheet.cssRules])
    .filter(rule => rule instanceof CSSFontFaceRule)
    .map(rule => rule.style.getPropertyValue("font-family") + rule.style.getPropertyValue("src"));
  await report("faces-" + faces.length + "-" + faces.filter(f => f.includes("Segoe UI") &&
    f.includes("HelveticaNeue-Bold")).length);
  await report("label-" + encodeURIComponent(document.querySelector("label").lastChild.textContent));
  // The page keeps its own preferences, across starts.
  try {
    await report("storage-had-" + (localStorage.getItem("qln.test") || "nothing"));
    localStorage.setItem("qln.test", "kept");
  } catch (error) { await report("storage-refused"); }
  await getAppSettings();
  alert("Hello from the page");
  await report("main-done");
});
</script></body></html>)";

class WindowProcess : public Program {
protected:
    // A bundle with a sortable script that makes the inlined main page exactly `total` bytes long.
    std::string BundleWithPageSize(size_t total) {
        const std::string code = "window.sortableRan = 1;";
        const size_t size = total - (kMainPage.size() - kSortableTag.size()) - 17;
        return MakeTestBundle(QUILLON_BINARY, dir.string(), kMainPage, "<html></html>",
                              code + std::string(size - code.size(), ' '));
    }
    bool WaitReport(const std::string& id) const {
        return WaitUntil([&] { return PageReports(env).count(id) > 0; }, 30000, 50);
    }
    static Window WaitWindow(pid_t pid) {
        Window window = None;
        WaitUntil([&] { return (window = FindWindowOfPid(pid)) != None; }, 30000, 50);
        return window;
    }
};

// Renames into the data folder, the way every file of the program is saved.
struct SaveCounter {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::map<std::string, int> saves;
    explicit SaveCounter(const std::string& folder) {
        inotify_add_watch(fd, folder.c_str(), IN_MOVED_TO);
    }
    ~SaveCounter() { close(fd); }
    void Drain() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->len) ++saves[event->name];
                at += sizeof(inotify_event) + event->len;
            }
        }
    }
};

TEST_F(WindowProcess, EveryWayOfQuittingSavesOnceAndLeavesNothingHeld) {
    WindowManager manager;
    ASSERT_TRUE(StartWindowManager(manager));
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    Xi2Observer observer;
    ASSERT_TRUE(StartObserver(observer));
    const auto clicks = [&] {
        return ObservedCount(observer, 15 /* XI_RawButtonPress */, observer.xtestPointerId);
    };
    for (const std::string way : {"Ctrl+Q", "close", "SIGTERM", "SIGINT"}) {
        SCOPED_TRACE(way);
        const pid_t pid = Spawn();
        const Window window = WaitWindow(pid);
        ASSERT_NE(window, None) << Err();
        EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == window; }, 10000, 20));
        EXPECT_TRUE(WaitUntil([] { return KeyGrabbedByAnotherClient(kF6); }, 20000, 200));
        // Clicking inside our own window keeps the focus there, where Ctrl+Q is pressed.
        const FrameRect frame = WindowFrame(window);
        PhysicalMoveTo(input, frame.x + 4, frame.y + frame.height / 2);
        PhysicalTap(input, kF6);
        const auto before = clicks();
        EXPECT_TRUE(WaitUntil([&] { return clicks() > before + 20; }, 10000));
        // Quit right after an autosave, so that the next one is five seconds away, and once the
        // window's place has come to rest: each place is saved, and a loaded machine settles late.
        SaveCounter counter(ProgramDataDir(env));
        int places = -1;
        EXPECT_TRUE(WaitUntil(
            [&] {
                counter.Drain();
                const bool rest = places == counter.saves["appsettings.txt"];
                places = counter.saves["appsettings.txt"];
                if (!rest) counter.saves["session.dat"] = 0;
                return rest && counter.saves["session.dat"] > 0;
            },
            30000, 1000));
        counter.saves.clear();
        if (way == "Ctrl+Q") {
            PhysicalKey(input, kControl, true);
            PhysicalTap(input, kQ);
            PhysicalKey(input, kControl, false);
        } else if (way == "close") {
            SendDeleteWindow(window);
        } else {
            kill(pid, way == "SIGTERM" ? SIGTERM : SIGINT);
        }
        EXPECT_EQ(WaitProgramExit(pid), 0) << Err();
        counter.Drain();
        EXPECT_EQ(counter.saves["session.dat"], 1);
        EXPECT_EQ(counter.saves["appsettings.txt"], 1);
        EXPECT_TRUE(ServerHeldButtons().empty());
        EXPECT_TRUE(ServerHeldKeys().empty());
    }
    StopObserver(observer);
    ClosePhysicalInput(input);
    StopWindowManager(manager);
}

// The main page gets the start-up script and the sortable script inlined up to 2 MiB; its alert
// is a native one, named after the program.
TEST_F(WindowProcess, PagePlacementLevelMinimisingAndASecondStartUnderAWindowManager) {
    WindowManager manager;
    ASSERT_TRUE(StartWindowManager(manager));
    std::ofstream(Data("appsettings.txt")) << "alwaysOnTop=1\n";
    std::string binary = BundleWithPageSize(2097152);
    pid_t pid = Spawn({}, binary);
    Window window = WaitWindow(pid);
    ASSERT_NE(window, None) << Err();
    EXPECT_TRUE(WaitUntil([&] { return WindowHasState(window, "_NET_WM_STATE_ABOVE"); }));
    EXPECT_TRUE(WaitReport("main-done"));
    for (const char* id : {"sortable-inlined", "faces-2-1", "contextmenu-blocked",
                           "label-%20Launch%20at%20login", "storage-had-nothing"}) {
        EXPECT_TRUE(PageReports(env).count(id)) << id;
    }
    Window alert = None;
    EXPECT_TRUE(WaitUntil([&] { return (alert = FindWindowNamed("Quillon")) != None; }, 10000, 20));
    SendDeleteWindow(alert);
    EXPECT_TRUE(WaitUntil([] { return FindWindowNamed("Quillon") == None; }, 10000, 20));

    // A second start hands over to the first and leaves every file alone: text, inode and time
    // stay, while the first, held still, cannot write.
    Probe other;
    ASSERT_TRUE(StartProbe(other, QLN_PROBE_WINDOW, 600, 500, 300, 200));
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() != window; }, 10000, 20));
    const auto files = [&] {
        std::string prints;
        for (const char* name : {"session.dat", "appsettings.txt", "status.txt"}) {
            struct stat st = {};
            stat(Data(name).c_str(), &st);
            prints += Slurp(Data(name)) + "|" + std::to_string(st.st_ino) + "|" +
                      std::to_string(st.st_mtim.tv_nsec) + "\n";
        }
        return prints;
    };
    kill(pid, SIGSTOP);
    const std::string before = files();
    EXPECT_EQ(WaitProgramExit(Spawn({}, binary)), 0);
    EXPECT_EQ(files(), before);
    kill(pid, SIGCONT);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == window; }, 10000, 20));
    StopProbe(other);

    // Moved and resized by the user, kept at exit, restored at the next start.
    const FrameRect start = WindowFrame(window);
    Display* display = XOpenDisplay(nullptr);
    XMoveResizeWindow(display, window, 200, 150, 500, 600);
    XCloseDisplay(display);
    FrameRect moved;
    EXPECT_TRUE(WaitUntil([&] {
        moved = WindowFrame(window);
        return moved.x != start.x && moved.height != start.height;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    moved = WindowFrame(window);
    Quit(pid);
    // A page one byte over gets the script by reference; quitting with the alert open still ends
    // the program; the grant is recorded once, on the first start of the bundle.
    binary = BundleWithPageSize(2097153);
    pid = Spawn({}, binary);
    window = WaitWindow(pid);
    EXPECT_TRUE(WaitUntil([&] { return WindowFrame(window) == moved; })) << WindowFrame(window);
    EXPECT_TRUE(WaitReport("storage-had-kept"));
    EXPECT_TRUE(PageReports(env).count("sortable-external"));
    EXPECT_TRUE(WaitUntil([] { return FindWindowNamed("Quillon") != None; }, 10000, 20));
    Quit(pid);
    EXPECT_EQ(Slurp(Data("macpermissions.txt")), "accessibilityGranted=app.quillon.free\n");

    // Started minimised.
    std::ofstream(Data("appsettings.txt"), std::ios::app) << "startMinimized=1\n";
    pid = Spawn({}, binary);
    window = WaitWindow(pid);
    EXPECT_TRUE(WaitUntil(
        [&] { return WindowIsIconic(window) || WindowHasState(window, "_NET_WM_STATE_HIDDEN"); }));
    Quit(pid);
    StopWindowManager(manager);
}

}  // namespace
