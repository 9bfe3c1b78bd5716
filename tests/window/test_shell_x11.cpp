// The window's desktop services under a real window manager (openbox) on the private display:
// placement and level, shortcuts, lifecycle notices and the alert, checked on the X server
// itself; links through a stand-in xdg-open; permissions as servers offer them; documents.
#include <gtest/gtest.h>

#include "platform/input.h"
#include "platform/shell.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "tests/support/desktop.h"
#include "tests/support/physical_input.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

// Fontconfig and JavaScriptCore make one-time allocations that they never free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libjavascriptcoregtk-6.0.so\n";
}

namespace {

namespace fs = std::filesystem;

constexpr const char* kPage = "<!doctype html><body style='background:#2b6cb0'>shell</body>";

// The whole binary runs under openbox, with SIGINT and SIGTERM blocked the way the program
// blocks them before its threads start.
class Desktop : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(StartWindowManager(manager));
        OsBlockTerminationSignals();
    }
    void TearDown() override { StopWindowManager(manager); }
    WindowManager manager;
};
testing::Environment* const g_Desktop = testing::AddGlobalTestEnvironment(new Desktop);

// One window of the program with its loop on the main thread, while the steps play the user on
// a thread of their own and read the answers from the X server.
struct Session {
    explicit Session(std::string name) : title(std::move(name)), window(OsWindowCreate(false)) {
        if (!window) return;
        OsWindowSetTitle(window, title);
        OsWindowSetSize(window, 480, 320, OsWindowSizeHint::kNone);
        OsWindowSetHtml(window, kPage);
    }
    ~Session() { OsWindowDestroy(window); }

    // Steps that end the loop themselves wait for it (WaitEnded); otherwise it ends after them.
    MainLoopEnd Run(const std::function<void()>& steps) {
        std::thread driver([&] {
            if (WaitUntil([&] { return (xid = FindWindowNamed(title)) != None; }, 20000) &&
                WaitUntil([&] { return ActiveWindow() == xid; }, 20000)) {
                steps();
            } else {
                ADD_FAILURE() << title << " never showed up with the focus";
            }
            if (!ended) OsWindowDispatch(window, [w = window] { OsWindowTerminate(w); });
        });
        const MainLoopEnd end = OsWindowRun(window);
        ended = true;
        driver.join();
        return end;
    }
    bool WaitEnded() {
        return WaitUntil([&] { return ended.load(); }, 20000);
    }

    // Runs call on the UI thread and returns its result.
    template <typename Call>
    auto OnUi(Call call) {
        using Result = decltype(call());
        auto done = std::make_shared<std::promise<Result>>();
        OsWindowDispatch(window, [done, call] {
            if constexpr (std::is_void_v<Result>) {
                call();
                done->set_value();
            } else {
                done->set_value(call());
            }
        });
        return done->get_future().get();
    }

    const std::string title;
    OsWindow* const window;
    Window xid = None;
    std::atomic<bool> ended{false};
};

// ---- what the X server says ----

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.x << "," << r.y << " " << r.width << "x" << r.height;
}

Rect FrameOf(Window xid) {
    const FrameRect f = WindowFrame(xid);
    return {f.x, f.y, f.width, f.height};
}

// A harness connection that lives as long as the test needs what it made (a dock's strut).
struct Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
    std::vector<long> Cardinals(Window window, const char* name) const {
        std::vector<long> values;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False,
                               XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
            data) {
            values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        }
        if (data) XFree(data);
        return values;
    }
    Rect WorkArea() const {
        const std::vector<long> v = Cardinals(DefaultRootWindow(display), "_NET_WORKAREA");
        return v.size() < 4 ? Rect{} : Rect{int(v[0]), int(v[1]), int(v[2]), int(v[3])};
    }
    int KeyCode(const char* name) const { return XKeysymToKeycode(display, XStringToKeysym(name)); }
    // A dock with the given top and bottom struts; the window manager shrinks the work area.
    Window Dock(long top, long bottom) {
        const Window dock =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1280, 1, 0, 0, 0);
        const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
        XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                        32, PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
        const long strut[12] = {0, 0, top, bottom, 0, 0, 0, 0, 0, 1279, 0, 1279};
        XChangeProperty(display, dock, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False),
                        XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(strut), 12);
        XMapWindow(display, dock);
        XFlush(display);
        return dock;
    }
    // An ordinary window of another client, to take the focus away.
    Window Other() {
        const Window other =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 600, 500, 200, 100, 0, 0, 0);
        XMapWindow(display, other);
        XFlush(display);
        return other;
    }
};

Window TransientFor(Window dialog) {
    Connection c;
    Window parent = None;
    return c.display && XGetTransientForHint(c.display, dialog, &parent) ? parent : None;
}

// The placement notices come only after a change settles; this waits until none came for a
// while, so that a count taken afterwards starts from rest.
void WaitForRest(const std::atomic<int>& notices) {
    for (int seen = -1; seen != notices.load();) {
        seen = notices.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }
}

struct Placement {
    bool ok = false;
    Rect frame;
    bool maximized = false;
};

Placement PlacementOf(OsWindow* window) {
    Placement p;
    p.ok = OsGetWindowPlacement(window, p.frame.x, p.frame.y, p.frame.width, p.frame.height,
                                p.maximized);
    return p;
}

// A key on the server's own keyboard, with Ctrl held unless it is null.
void PressKeys(const Connection& c, const char* modifier, const char* key) {
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    if (modifier) PhysicalKey(input, c.KeyCode(modifier), true);
    PhysicalTap(input, c.KeyCode(key));
    if (modifier) PhysicalKey(input, c.KeyCode(modifier), false);
    ClosePhysicalInput(input);
}

bool FrameBecomes(Window xid, const Rect& expected) {
    return WaitUntil([&] { return FrameOf(xid) == expected; }, 5000, 10);
}

TEST(ShellWindow, PlacementLevelNoticesAlertAndClose) {
    Connection c;
    ASSERT_NE(c.display, nullptr);
    c.Dock(40, 60);
    ASSERT_TRUE(WaitUntil([&] { return c.WorkArea() == Rect{0, 40, 1280, 924}; }));
    const Rect area = c.WorkArea();

    char program[] = "quillon", flag[] = "--verbose", theme[] = "/tmp/Dark.QlnTheme",
         text[] = "notes.txt", macro[] = "m.qlnmacro";
    char* argv[] = {program, flag, theme, text, macro};
    OsPrepareFileOpenHandling(5, argv);

    Session s("Shell placement");
    ASSERT_NE(s.window, nullptr);
    std::atomic<int> notices{0};
    Placement atNotice;
    std::vector<std::vector<std::string>> files;
    OsInstallLifecycleHooks(
        s.window,
        [&] {
            atNotice = PlacementOf(s.window);
            ++notices;
        },
        [] {}, [] {});
    OsInstallMainMenu(s.window, "Quillon");
    OsInstallFileOpenHandlers(s.window, [&](const auto& paths) { files.push_back(paths); });
    OsInstallFileOpenHandlers(s.window, [&](const auto&) { files.push_back({"again"}); });

    const MainLoopEnd end = s.Run([&] {
        // The documents named on the command line arrive once, together.
        EXPECT_TRUE(WaitUntil([&] { return s.OnUi([&] { return files.size(); }) == 1; }));
        EXPECT_EQ(s.OnUi([&] { return files; }),
                  (std::vector<std::vector<std::string>>{{"/tmp/Dark.QlnTheme", "m.qlnmacro"}}));
        const double doubleClick = s.OnUi([] {
            OsSetDoubleClickSeconds(1.5);
            OsReadDoubleClickSetting();
            return PlatformDoubleClickSeconds();
        });
        EXPECT_EQ(doubleClick, 0.4);  // GTK's default without a desktop's settings

        // Saved frames and where each must end up: cut to the work area with the bottom inside
        // it; off every monitor or without a size, the window stays where it was.
        const struct {
            Rect saved;
            Rect expected;
        } restores[] = {
            {{100, 120, 640, 480}, {100, 120, 640, 480}},
            {{50, 300, 700, 2000}, {50, area.y, 700, area.height}},
            {{200, 600, 500, 600}, {200, area.y + area.height - 600, 500, 600}},
            {{0, 100, 3000, 400}, {0, 100, area.width, 400}},
            {{5000, 5000, 400, 300}, {0, 100, area.width, 400}},
            {{100, 100, 0, 300}, {0, 100, area.width, 400}},
            {{100, 100, 600, 0}, {0, 100, area.width, 400}},
            {{300, 200, 600, 420}, {300, 200, 600, 420}},
        };
        for (const auto& r : restores) {
            s.OnUi([&] {
                const Rect& f = r.saved;
                OsRestoreWindowPlacement(s.window, f.x, f.y, f.width, f.height, false);
            });
            EXPECT_TRUE(FrameBecomes(s.xid, r.expected))
                << "saved " << r.saved << ": " << FrameOf(s.xid);
            const Placement read = s.OnUi([&] { return PlacementOf(s.window); });
            EXPECT_TRUE(read.ok && !read.maximized);
            EXPECT_EQ(read.frame, FrameOf(s.xid));
        }

        // Content sizes asked for: the height is cut to the work area less the window manager's
        // real decorations and 20 pixels, and the frame moved up into the work area.
        const std::vector<long> e = c.Cardinals(s.xid, "_NET_FRAME_EXTENTS");
        ASSERT_EQ(e.size(), 4u);
        const int sides = int(e[0] + e[1]), title = int(e[2] + e[3]);
        EXPECT_GT(title, 0);
        const int limit = area.height - title - 20, top = area.y + area.height - limit - title;
        const struct {
            int width, height;
            Rect expected;
        } resizes[] = {
            {800, 2000, {300, top, 800 + sides, limit + title}},
            {600, 300, {300, top, 600 + sides, 300 + title}},
        };
        for (const auto& r : resizes) {
            s.OnUi([&] { OsResizeWindowClamped(s.window, r.width, r.height); });
            EXPECT_TRUE(FrameBecomes(s.xid, r.expected))
                << r.width << "x" << r.height << ": " << FrameOf(s.xid) << " not " << r.expected;
        }

        for (const bool on : {true, false}) {
            s.OnUi([&] { OsSetAlwaysOnTop(s.window, on); });
            EXPECT_TRUE(
                WaitUntil([&] { return WindowHasState(s.xid, "_NET_WM_STATE_ABOVE") == on; }));
        }

        // Minimized by the call and by each shortcut; brought back in front of another window.
        const Window other = c.Other();
        EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == other; }));
        for (const char* key : {"", "m", "h"}) {
            s.OnUi([&] { OsBringToFront(s.window); });
            EXPECT_TRUE(WaitUntil([&] { return !WindowIsIconic(s.xid); })) << key;
            EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == s.xid; })) << key;
            if (*key) {
                PressKeys(c, "Control_L", key);
            } else {
                s.OnUi([&] { OsMiniaturize(s.window); });
            }
            EXPECT_TRUE(WaitUntil([&] { return WindowIsIconic(s.xid); })) << key;
        }
        s.OnUi([&] { OsBringToFront(s.window); });
        EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == s.xid; }));

        // A move made by another client, in three steps at once, gives one notice once it
        // settles, and the notice reads the final place.
        WaitForRest(notices);
        const int before = notices;
        for (int step = 1; step <= 3; ++step) XMoveWindow(c.display, s.xid, 100 + step, 150);
        XFlush(c.display);
        EXPECT_TRUE(WaitUntil([&] { return notices == before + 1; }));
        WaitForRest(notices);
        EXPECT_EQ(notices, before + 1);
        EXPECT_EQ(FrameOf(s.xid).x, 103);
        EXPECT_EQ(s.OnUi([&] { return atNotice.frame; }), FrameOf(s.xid));

        // Alerts: over the window, modal, dismissed with Escape; text that is not UTF-8 is left
        // out rather than shown broken.
        auto returned = std::make_shared<std::atomic<int>>(0);
        for (const std::string message : {"Recording saved.", "bad \xff byte"}) {
            const int shown = *returned;
            OsWindowDispatch(s.window, [message, returned] {
                OsShowAlert(message);
                ++*returned;
            });
            Window alert = None;
            EXPECT_TRUE(WaitUntil([&] {
                return (alert = FindWindowNamed("Quillon")) != None && ActiveWindow() == alert;
            }));
            EXPECT_EQ(TransientFor(alert), s.xid);
            EXPECT_TRUE(WindowHasState(alert, "_NET_WM_STATE_MODAL"));
            EXPECT_EQ(*returned, shown);
            PressKeys(c, nullptr, "Escape");
            EXPECT_TRUE(WaitUntil([&] { return *returned == shown + 1; }));
            EXPECT_TRUE(WaitUntil([&] { return FindWindowNamed("Quillon") == None; }));
        }

        s.OnUi([&] { OsRestoreWindowPlacement(s.window, 100, 120, 640, 480, true); });
        EXPECT_TRUE(WaitUntil([&] {
            return WindowHasState(s.xid, "_NET_WM_STATE_MAXIMIZED_VERT") &&
                   WindowHasState(s.xid, "_NET_WM_STATE_MAXIMIZED_HORZ");
        }));
        EXPECT_TRUE(WaitUntil(
            [&] { return s.OnUi([&] { return PlacementOf(s.window).maximized; }); }, 5000, 20));

        // Ctrl+W closes the window; the notice before it still reads the place. (A notice of
        // the maximizing may still come first on a busy machine.)
        WaitForRest(notices);
        const int beforeClose = notices;
        PressKeys(c, "Control_L", "w");
        EXPECT_TRUE(s.WaitEnded());
        EXPECT_GT(notices, beforeClose);
    });
    EXPECT_EQ(end, MainLoopEnd::kTerminated);
    EXPECT_TRUE(atNotice.ok && atNotice.maximized);
    EXPECT_EQ(atNotice.frame, area);
    EXPECT_EQ(FindWindowNamed("Shell placement"), None);
    const Placement gone = PlacementOf(s.window);
    EXPECT_FALSE(gone.ok || gone.maximized);
    EXPECT_EQ(gone.frame, Rect{});
}

// Every way of quitting ends the loop; with the hooks in place, after the terminate notice.
TEST(ShellWindow, QuitPaths) {
    Connection c;
    const struct {
        const char* name;
        bool hooks;
        const char* key;
        int signal;
        bool alert;  // open while the request comes
    } cases[] = {
        {"ctrl-q", true, "q", 0, false},
        {"ctrl-q-before-hooks", false, "q", 0, false},
        {"sigterm", true, nullptr, SIGTERM, false},
        {"sigint", true, nullptr, SIGINT, false},
        {"sigterm-over-alert", true, nullptr, SIGTERM, true},
    };
    for (const auto& q : cases) {
        Session s(std::string("Shell ") + q.name);
        ASSERT_NE(s.window, nullptr);
        int notices = 0;
        if (q.hooks)
            OsInstallLifecycleHooks(
                s.window, [] {}, [&] { ++notices; }, [] {});
        OsInstallMainMenu(s.window, "Quillon");
        const MainLoopEnd end = s.Run([&] {
            if (q.alert) {
                OsWindowDispatch(s.window, [] { OsShowAlert("Still here?"); });
                EXPECT_TRUE(WaitUntil([] { return FindWindowNamed("Quillon") != None; }));
            }
            if (q.key) {
                PressKeys(c, "Control_L", q.key);
            } else {
                kill(getpid(), q.signal);
            }
            EXPECT_TRUE(s.WaitEnded()) << q.name;
            if (!s.ended && q.alert) PressKeys(c, nullptr, "Escape");  // lets a failing run end
        });
        EXPECT_EQ(end, MainLoopEnd::kTerminated) << q.name;
        EXPECT_EQ(notices, q.hooks ? 1 : 0) << q.name;
        EXPECT_EQ(FindWindowNamed("Quillon"), None) << q.name;
    }
}

// The X server the program ran on goes away: the loop ends with that reason, in a program of its
// own so that the test's display stays.
TEST(ShellWindow, LossOfTheDisplayEndsTheLoop) {
    const std::string ours = getenv("DISPLAY");
    PrivateXvfb doomed;
    ASSERT_TRUE(StartPrivateXvfb(doomed));
    setenv("DISPLAY", ours.c_str(), 1);
    // GLib's criticals end the child: the loop must end without a misstep.
    const ProgramEnv env{fs::temp_directory_path() / ("qln-loss-" + std::to_string(getpid())),
                         {{"DISPLAY", doomed.display},
                          {"ASAN_OPTIONS", "detect_leaks=0"},
                          {"G_DEBUG", "fatal-criticals"}}};
    fs::create_directories(env.home);
    const auto output = [&] {
        std::stringstream text;
        text << std::ifstream(env.home + "/out.txt").rdbuf();
        return text.str();
    };
    const pid_t child = SpawnProgram(QLN_SHELL_CHILD, {}, env);
    EXPECT_TRUE(WaitUntil([&] { return output() == "ready\n"; }, 30000));
    StopPrivateXvfb(doomed);
    EXPECT_EQ(WaitProgramExit(child), 0);
    EXPECT_EQ(output(), "ready\ndisplay lost\n");
    fs::remove_all(env.home);
}

// Links go to xdg-open as one argument each, never through a shell; a stand-in xdg-open on PATH
// records what it gets, in a file named after its process id.
TEST(Shell, LinksOpenThroughXdgOpen) {
    const fs::path dir = fs::temp_directory_path() / ("qln-links-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "calls");
    std::ofstream(dir / "xdg-open") << "#!/bin/sh\n"
                                       "printf '%s\\0' \"$@\" > \"$QLN_LINKS/.$$\"\n"
                                       "mv \"$QLN_LINKS/.$$\" \"$QLN_LINKS/$$\"\n";
    fs::permissions(dir / "xdg-open", fs::perms::owner_all);
    const std::string path = getenv("PATH");
    setenv("PATH", (dir.string() + ":" + path).c_str(), 1);
    setenv("QLN_LINKS", (dir / "calls").c_str(), 1);

    for (const std::string refused : {"", "quillon.app", ":x", "1http://x", "http:", "-a:b",
                                      "a b:c", "https://a\nb", "https://a\x7f"}) {
        OsOpenUrl(refused);
    }
    const std::string tricky =
        "https://example.com/a b?q=\"x\"&s='y'&c=$(touch " + (dir / "pwned").string() + ")`id`";
    const struct {
        std::function<void()> call;
        std::string url;
    } opened[] = {
        {[&] { OsOpenUrl(tricky); }, tricky},
        {[] { OsOpenUrl("mailto:someone@example.com"); }, "mailto:someone@example.com"},
        {[] { OsOpenPrivacyPane("input"); }, "https://quillon.app/docs.html#input-monitoring"},
        {[] { OsOpenPrivacyPane("accessibility"); }, "https://quillon.app/docs.html#accessibility"},
        {[] { OsOpenPrivacyPane("Input"); }, "https://quillon.app/docs.html#accessibility"},
        {[] { OsOpenSoftwareUpdate(); }, "https://quillon.app/docs.html#webkitgtk"},
    };
    std::set<std::string> seen;
    for (const auto& o : opened) {
        o.call();
        fs::path record;
        EXPECT_TRUE(WaitUntil([&] {
            for (const auto& entry : fs::directory_iterator(dir / "calls")) {
                const std::string name = entry.path().filename();
                if (name[0] != '.' && !seen.count(name)) record = entry.path();
            }
            return !record.empty();
        })) << o.url;
        if (record.empty()) continue;
        seen.insert(record.filename());
        std::stringstream text;
        text << std::ifstream(record).rdbuf();
        EXPECT_EQ(text.str(), o.url + '\0');
        // Collected once it ends: no zombie is left behind.
        EXPECT_TRUE(WaitUntil([&] { return !fs::exists("/proc/" + record.filename().string()); }))
            << o.url;
    }
    EXPECT_EQ(seen.size(), std::size(opened));
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    setenv("PATH", path.c_str(), 1);
    fs::remove_all(dir);
}

TEST(Shell, PermissionsFollowTheServersExtensions) {
    EXPECT_TRUE(OsAccessibilityTrusted());
    EXPECT_TRUE(OsListenEventAllowed());
    EXPECT_TRUE(OsRequestListenEvent());
    const std::string ours = getenv("DISPLAY");
    PrivateXvfb noXtest;
    ASSERT_TRUE(StartPrivateXvfb(noXtest, {"-extension", "XTEST"}));
    EXPECT_FALSE(OsAccessibilityTrusted());
    EXPECT_TRUE(OsListenEventAllowed());
    StopPrivateXvfb(noXtest);
    setenv("DISPLAY", ours.c_str(), 1);
}

TEST(Shell, NamesDocumentsAndProgramFiles) {
    const struct {
        const char* desktops;
        const char* name;
    } settings[] = {
        {"GNOME", "Settings"},
        {"ubuntu:GNOME", "Settings"},
        {"KDE", "System Settings"},
        {"XFCE", "System Settings"},
        {"GNOME-Flashback", "System Settings"},
        {"", "System Settings"},
        {nullptr, "System Settings"},
    };
    for (const auto& d : settings) {
        if (d.desktops) {
            setenv("XDG_CURRENT_DESKTOP", d.desktops, 1);
        } else {
            unsetenv("XDG_CURRENT_DESKTOP");
        }
        EXPECT_EQ(OsSettingsAppName(), d.name) << (d.desktops ? d.desktops : "(unset)");
    }

    EXPECT_EQ(OsDocumentPaths({"a.qlntheme", "b.QLNMACRO", "c.txt", "qlnmacro", "d.qlnmacro.bak",
                               "dir.qlntheme/e", "/x/f.QlnTheme", ""}),
              (std::vector<std::string>{"a.qlntheme", "b.QLNMACRO", "/x/f.QlnTheme"}));

    int major = 0, minor = 0;
    EXPECT_TRUE(OsWebKitVersion(major, minor));
    EXPECT_EQ(major, 2);
    EXPECT_GE(minor, 40);  // the first WebKitGTK with the 6.0 API

    // Two folders above the test binary stands for the installed bundle's root.
    const fs::path root = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    EXPECT_EQ(OsResourceDir(), ".");
    fs::create_directories(root / "share" / "quillon");
    EXPECT_EQ(OsResourceDir(), (root / "share" / "quillon").string());
    fs::remove_all(root / "share");
    std::ofstream(root / "bundle.ini") << "name=Quillon\nidentifier=app.quillon.test\n";
    EXPECT_EQ(OsBundleIdentifier(), "app.quillon.test");
    fs::remove(root / "bundle.ini");
}

}  // namespace
