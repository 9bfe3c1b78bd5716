// Which program owns the window under a point: the tap drops clicks on our own windows from
// recordings.
#include "platform/tap.h"
#include "platform/x11/window_query.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <string>

namespace {

Display* g_TapQueries = nullptr;  // tap thread only

long WindowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return -1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1) {
            pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return pid;
}

// The owner of a top-level window: its own _NET_WM_PID, or that of the client window a window
// manager's frame holds.
long OwnerPidOf(Display* display, Window window, int depth) {
    const long pid = WindowPid(display, window);
    if (pid > 0 || depth == 0) return pid;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    long found = -1;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = count; i-- > 0 && found <= 0;) {
            found = OwnerPidOf(display, children[i], depth - 1);
        }
        if (children) XFree(children);
    }
    return found;
}

const std::string& OwnExecutablePath() {
    static const std::string path = ExecutablePathOf(getpid());
    return path;
}

}  // namespace

void SetWindowQueryConnection(Display* display) { g_TapQueries = display; }

std::string ExecutablePathOf(long pid) {
    char path[4097] = {};
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

namespace {

bool IsOwnWindow(Display* display, Window window) {
    const long pid = OwnerPidOf(display, window, 2);
    if (pid <= 0) return false;
    if (pid == getpid()) return true;
    const std::string path = ExecutablePathOf(pid);
    return !path.empty() && path == OwnExecutablePath();
}

// Who owns a top-level window takes several round trips to learn and never changes, so the
// answers for the last few windows are kept a while (a window's id may be used again later).
struct KnownWindow {
    Window window = None;
    bool own = false;
    std::chrono::steady_clock::time_point learnt;
};
std::array<KnownWindow, 8> g_KnownWindows;  // tap thread only
size_t g_NextKnown = 0;
constexpr auto kKeepOwner = std::chrono::seconds(2);

bool IsOwnWindowRemembered(Display* display, Window window) {
    const auto now = std::chrono::steady_clock::now();
    for (const KnownWindow& known : g_KnownWindows) {
        if (known.window == window && now - known.learnt < kKeepOwner) return known.own;
    }
    const bool own = IsOwnWindow(display, window);
    g_KnownWindows[g_NextKnown] = KnownWindow{window, own, now};
    g_NextKnown = (g_NextKnown + 1) % g_KnownWindows.size();
    return own;
}

}  // namespace

bool OsIsOwnWindowAt(double x, double y) {
    Display* display = g_TapQueries;
    if (!display) return false;
    const Window root = DefaultRootWindow(display);
    int localX = 0, localY = 0;
    Window child = None;
    if (!XTranslateCoordinates(display, root, root, static_cast<int>(std::lround(x)),
                               static_cast<int>(std::lround(y)), &localX, &localY, &child) ||
        child == None) {
        return false;
    }
    return IsOwnWindowRemembered(display, child);
}
