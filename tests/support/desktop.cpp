#include "tests/support/desktop.h"

#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <vector>

namespace {

// One short-lived connection per question keeps the harness independent of any thread.
// Windows come and go while the harness looks at them; a question about a gone one answers
// "none" instead of ending the test.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

template <typename Answer>
Answer Ask(Answer none, const std::function<Answer(Display*)>& question) {
    XSetErrorHandler(IgnoreXError);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return none;
    const Answer answer = question(display);
    XCloseDisplay(display);
    return answer;
}

// A property's items, of whatever type: 32-bit ones as numbers, or for format 8 each byte.
std::vector<unsigned long> Property(Display* display, Window window, const char* name) {
    std::vector<unsigned long> values;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                           AnyPropertyType, &actual, &format, &count, &after, &data) == Success &&
        data) {
        if (format == 32) values.assign((unsigned long*)data, (unsigned long*)data + count);
        if (format == 8) values.assign(data, data + count);
    }
    if (data) XFree(data);
    return values;
}

Window Search(Display* display, Window window, const std::function<bool(Window)>& wanted,
              int depth) {
    if (wanted(window)) return window;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (depth == 0 || !XQueryTree(display, window, &root, &parent, &children, &count)) {
        return None;
    }
    Window found = None;
    for (unsigned i = 0; i < count && found == None; ++i) {
        found = Search(display, children[i], wanted, depth - 1);
    }
    if (children) XFree(children);
    return found;
}

// Openbox names itself on the root before it manages windows, and a window mapped in between
// stays unmanaged: only a window it has framed shows that it is ready. Before it runs, each
// question costs a second.
bool ManagesNewWindows() {
    return Ask<bool>(false, [](Display* d) {
        const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(d, probe);
        XSync(d, False);
        const bool managed =
            WaitUntil([&] { return !Property(d, probe, "_NET_FRAME_EXTENTS").empty(); }, 1000, 10);
        XDestroyWindow(d, probe);
        XSync(d, False);
        return managed;
    });
}

}  // namespace

bool StartWindowManager(WindowManager& manager) {
    manager.pid = fork();
    if (manager.pid == 0) {
        dup2(open("/dev/null", O_WRONLY), 1);
        dup2(open("/dev/null", O_WRONLY), 2);
        ExecChild({"openbox", "--sm-disable"});
    }
    return manager.pid > 0 && WaitUntil(ManagesNewWindows, 10000, 0);
}

void StopWindowManager(WindowManager& manager) {
    if (manager.pid <= 0) return;
    kill(manager.pid, SIGTERM);
    waitpid(manager.pid, nullptr, 0);
    manager.pid = -1;
}

// A window manager lists the windows it manages; without one, a mapped window of the tree.
Window FindWindowOfPid(pid_t pid) {
    return Ask<Window>(None, [pid](Display* d) {
        const auto ofPid = [&](Window w) {
            const auto pids = Property(d, w, "_NET_WM_PID");
            return !pids.empty() && static_cast<pid_t>(pids[0]) == pid;
        };
        for (unsigned long w : Property(d, DefaultRootWindow(d), "_NET_CLIENT_LIST")) {
            if (ofPid(w)) return static_cast<Window>(w);
        }
        return Search(
            d, DefaultRootWindow(d),
            [&](Window w) {
                XWindowAttributes attributes;
                return ofPid(w) && XGetWindowAttributes(d, w, &attributes) &&
                       attributes.map_state == IsViewable;
            },
            4);
    });
}

Window FindWindowNamed(const std::string& name) {
    return Ask<Window>(None, [&](Display* d) {
        const auto named = [&](Window w) {
            const auto bytes = Property(d, w, "_NET_WM_NAME");
            return std::string(bytes.begin(), bytes.end()) == name;
        };
        return Search(d, DefaultRootWindow(d), named, 4);
    });
}

bool WindowHasState(Window window, const char* state) {
    return Ask<bool>(false, [&](Display* d) {
        const auto atoms = Property(d, window, "_NET_WM_STATE");
        return std::count(atoms.begin(), atoms.end(), XInternAtom(d, state, False)) > 0;
    });
}

bool WindowIsIconic(Window window) {
    const auto values = WindowCardinals(window, "WM_STATE");
    return !values.empty() && values[0] == IconicState;
}

Window ActiveWindow() {
    const auto values = WindowCardinals(None, "_NET_ACTIVE_WINDOW");
    return values.empty() ? None : Window(values[0]);
}

FrameRect WindowFrame(Window window) {
    return Ask<FrameRect>(FrameRect{}, [&](Display* d) {
        XWindowAttributes attributes;
        Window child = None;
        FrameRect frame;
        if (!XGetWindowAttributes(d, window, &attributes) ||
            !XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &frame.x, &frame.y,
                                   &child)) {
            return FrameRect{};
        }
        auto extents = Property(d, window, "_NET_FRAME_EXTENTS");
        extents.resize(4, 0);  // left, right, top, bottom
        frame.x -= static_cast<int>(extents[0]);
        frame.y -= static_cast<int>(extents[2]);
        frame.width = attributes.width + static_cast<int>(extents[0] + extents[1]);
        frame.height = attributes.height + static_cast<int>(extents[2] + extents[3]);
        return frame;
    });
}

// A client message about the window, sent to `to` (None: the root) with the event mask; its
// first item is the named atom, or 2 without one (a pager, obeyed at once).
static void SendMessage(Window to, Window window, const char* type, const char* atom, long mask) {
    Ask<bool>(false, [&](Display* d) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(d, type, False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = atom ? long(XInternAtom(d, atom, False)) : 2;
        XSendEvent(d, to ? to : DefaultRootWindow(d), False, mask, &event);
        XFlush(d);
        return true;
    });
}

void SendDeleteWindow(Window window) {
    SendMessage(window, window, "WM_PROTOCOLS", "WM_DELETE_WINDOW", NoEventMask);
}

void ActivateWindow(Window window) {
    SendMessage(None, window, "_NET_ACTIVE_WINDOW", nullptr,
                SubstructureRedirectMask | SubstructureNotifyMask);
}

std::vector<long> WindowCardinals(Window window, const char* name) {
    return Ask<std::vector<long>>({}, [&](Display* d) {
        const auto values = Property(d, window ? window : DefaultRootWindow(d), name);
        return std::vector<long>(values.begin(), values.end());
    });
}
