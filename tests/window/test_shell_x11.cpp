// The window's desktop services under a real window manager (openbox) on the private display:
// placement, shortcuts and the alert, checked on the X server itself; links through a stand-in
// xdg-open. Quitting, the window's level and the loss of the display are checked in the program
// itself (tests/app).
#include <gtest/gtest.h>

#include "platform/shell.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <future>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

namespace fs = std::filesystem;

using Rect = FrameRect;

// A harness connection that lives as long as the test needs what it made (a dock's strut).
struct Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection() { XCloseDisplay(display); }
    // A key on the server's own keyboard, with a modifier held unless it is null.
    void Press(const char* modifier, const char* key) const {
        PhysicalInput* input = OpenPhysicalInput();
        const auto code = [&](const char* name) {
            return XKeysymToKeycode(display, XStringToKeysym(name));
        };
        if (modifier) PhysicalKey(input, code(modifier), true);
        PhysicalTap(input, code(key));
        if (modifier) PhysicalKey(input, code(modifier), false);
        ClosePhysicalInput(input);
    }
    // A top-level window of another client: a dock with top and bottom struts, or an ordinary
    // one that takes the focus.
    Window Make(bool dock) {
        const Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 600, 500,
                                             dock ? 1280 : 200, dock ? 1 : 100, 0, 0, 0);
        if (dock) {
            const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
            const long strut[12] = {0, 0, 40, 60, 0, 0, 0, 0, 0, 1279, 0, 1279};
            XChangeProperty(display, w, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                            32, PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
            XChangeProperty(display, w, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False),
                            XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(strut), 12);
        }
        XMapWindow(display, w);
        XFlush(display);
        return w;
    }
};

// Runs call on the UI thread and waits until it has run.
void OnUi(OsWindow* window, const std::function<void()>& call) {
    auto done = std::make_shared<std::promise<void>>();
    OsWindowDispatch(window, [done, &call] {
        call();
        done->set_value();
    });
    done->get_future().wait();
}

// Whether the window has a place, the place, and whether it is maximized.
using Placement = std::tuple<bool, Rect, bool>;

Placement PlacementOf(OsWindow* window) {
    Rect f;
    bool maximized = false;
    const bool ok = OsGetWindowPlacement(window, f.x, f.y, f.width, f.height, maximized);
    return {ok, f, maximized};
}

// One window with its loop on the main thread, while a thread of the test plays the user and
// reads the answers from the X server.
TEST(ShellWindow, PlacementShortcutsAlertAndClose) {
    WindowManager manager;
    ASSERT_TRUE(StartWindowManager(manager));
    Connection c;
    c.Make(true);
    const Rect area{0, 40, 1280, 924};  // the screen less the dock's struts
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<long> v = WindowCardinals(None, "_NET_WORKAREA");
        return v.size() >= 4 && Rect{int(v[0]), int(v[1]), int(v[2]), int(v[3])} == area;
    }));

    OsWindow* const w = OsWindowCreate(false);
    ASSERT_NE(w, nullptr);
    OsWindowSetTitle(w, "Shell placement");
    OsWindowSetSize(w, 480, 320, OsWindowSizeHint::kNone);
    OsWindowSetHtml(w, "<!doctype html><body style='background:#2b6cb0'>shell</body>");
    Placement atClose;
    OsInstallLifecycleHooks(
        w, [&] { atClose = PlacementOf(w); }, [] {}, [] {});
    OsInstallMainMenu(w, "Quillon");
    std::atomic<bool> ended{false};
    Window xid = None;
    const auto steps = [&] {
        ASSERT_TRUE(
            WaitUntil([&] { return (xid = FindWindowNamed("Shell placement")) != None; }, 20000) &&
            WaitUntil([&] { return ActiveWindow() == xid; }, 20000));
        int restores = 0;
        for (const std::string& line : Split(Slurp(QLN_WINDOW_TEST_DIR "/restores.txt"), "\n")) {
            if (line.empty() || line[0] == '#') continue;
            Rect f, expected;
            std::string arrow;
            std::istringstream(line) >> f.x >> f.y >> f.width >> f.height >> arrow >> expected.x >>
                expected.y >> expected.width >> expected.height;
            ++restores;
            OnUi(w, [&] { OsRestoreWindowPlacement(w, f.x, f.y, f.width, f.height, false); });
            EXPECT_TRUE(WaitUntil([&] { return WindowFrame(xid) == expected; }, 5000, 10))
                << line << ": " << WindowFrame(xid);
            Placement read;
            OnUi(w, [&] { read = PlacementOf(w); });
            EXPECT_EQ(read, Placement(true, WindowFrame(xid), false));
        }
        EXPECT_EQ(restores, 8);

        // Content sizes asked for: the height is cut to the work area less the window manager's
        // real decorations and 20 pixels, and the frame moved up into the work area.
        const std::vector<long> e = WindowCardinals(xid, "_NET_FRAME_EXTENTS");
        ASSERT_EQ(e.size(), 4u);
        const int sides = int(e[0] + e[1]), title = int(e[2] + e[3]);
        const int limit = area.height - title - 20, top = area.y + area.height - limit - title;
        EXPECT_GT(title, 0);
        for (const Rect& r : {Rect{300, top, 800, 2000}, Rect{300, top, 600, 300}}) {
            OnUi(w, [&] { OsResizeWindowClamped(w, r.width, r.height); });
            const Rect expected{300, top, r.width + sides, std::min(r.height, limit) + title};
            EXPECT_TRUE(WaitUntil([&] { return WindowFrame(xid) == expected; }, 5000, 10))
                << r << ": " << WindowFrame(xid);
        }

        // Minimized by the call and by each shortcut; brought back in front of another window.
        const Window other = c.Make(false);
        EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == other; }));
        for (const char* key : {"", "m", "h", "front"}) {
            OnUi(w, [&] { OsBringToFront(w); });
            EXPECT_TRUE(WaitUntil([&] { return !WindowIsIconic(xid); })) << key;
            EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == xid; })) << key;
            if (key == std::string("front")) break;
            if (*key) {
                c.Press("Control_L", key);
            } else {
                OnUi(w, [&] { OsMiniaturize(w); });
            }
            EXPECT_TRUE(WaitUntil([&] { return WindowIsIconic(xid); })) << key;
        }

        // Alerts: over the window, modal, dismissed with Escape; text that is not UTF-8 is left
        // out rather than shown broken.
        auto returned = std::make_shared<std::atomic<int>>(0);
        for (const std::string message : {"Recording saved.", "bad \xff byte"}) {
            const int shown = *returned;
            OsWindowDispatch(w, [message, returned] {
                OsShowAlert(message);
                ++*returned;
            });
            Window alert = None, parent = None;
            EXPECT_TRUE(WaitUntil([&] {
                return (alert = FindWindowNamed("Quillon")) != None && ActiveWindow() == alert;
            }));
            EXPECT_TRUE(XGetTransientForHint(c.display, alert, &parent) && parent == xid);
            EXPECT_TRUE(WindowHasState(alert, "_NET_WM_STATE_MODAL"));
            EXPECT_EQ(*returned, shown);
            c.Press(nullptr, "Escape");
            EXPECT_TRUE(WaitUntil([&] { return *returned == shown + 1; }));
            EXPECT_TRUE(WaitUntil([&] { return FindWindowNamed("Quillon") == None; }));
        }

        // Ctrl+W closes the window; the notice before it reads the maximized place.
        OnUi(w, [&] { OsRestoreWindowPlacement(w, 100, 120, 640, 480, true); });
        EXPECT_TRUE(WaitUntil([&] { return WindowHasState(xid, "_NET_WM_STATE_MAXIMIZED_VERT"); }));
        c.Press("Control_L", "w");
        EXPECT_TRUE(WaitUntil([&] { return ended.load(); }, 20000));
    };
    std::thread user([&] {
        steps();
        if (!ended) OsWindowDispatch(w, [w] { OsWindowTerminate(w); });
    });
    const MainLoopEnd end = OsWindowRun(w);
    ended = true;
    user.join();
    EXPECT_EQ(end, MainLoopEnd::kTerminated);
    EXPECT_EQ(atClose, Placement(true, area, true));
    EXPECT_EQ(FindWindowNamed("Shell placement"), None);
    EXPECT_EQ(PlacementOf(w), Placement(false, Rect{}, false));
    OsWindowDestroy(w);
    StopWindowManager(manager);
}

// Links go to xdg-open as one argument each, never through a shell, and the process is
// collected once it ends. The bindings test covers the program's own pages.
TEST(Shell, LinksOpenThroughXdgOpen) {
    const fs::path dir = fs::temp_directory_path() / ("qln-links-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const std::string path = getenv("PATH"), opened = InstallFakeXdgOpen(dir);
    for (const std::string refused : {"", "quillon.app", ":x", "1http://x", "http:", "-a:b",
                                      "a b:c", "https://a\nb", "https://a\x7f"}) {
        OsOpenUrl(refused);
    }
    const std::string tricky =
        "https://example.com/a b?q=\"x\"&s='y'&c=$(touch " + (dir / "pwned").string() + ")`id`";
    std::string lines;
    for (const std::string& url : {tricky, std::string("mailto:someone@example.com")}) {
        OsOpenUrl(url);
        EXPECT_TRUE(WaitUntil([&] { return Slurp(opened).size() > lines.size(); })) << url;
        const std::string line = Slurp(opened).substr(lines.size());
        lines += line;
        EXPECT_EQ(line.substr(0, line.rfind('\t')), url + "\t1");
        const size_t tab = line.rfind('\t');
        const std::string pid = line.substr(tab + 1, line.size() - tab - 2);
        EXPECT_TRUE(WaitUntil([&] { return !fs::exists("/proc/" + pid); })) << "reaped";
    }
    EXPECT_EQ(Slurp(opened), lines) << "refused links open nothing";
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    setenv("PATH", path.c_str(), 1);
    fs::remove_all(dir);
}

}  // namespace
