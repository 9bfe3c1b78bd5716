// Bringing the window of the running instance to the front.

#include "platform/linux/shell_files.h"
#include "platform/shell.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace {

bool ReadWindowPid(Display* display, Window window, Atom pidAtom, long& pid) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                          &format, &count, &remaining, &data);
    const bool found = status == Success && type == XA_CARDINAL && format == 32 && count == 1;
    if (found) pid = reinterpret_cast<long*>(data)[0];
    if (data != nullptr) XFree(data);
    return found;
}

std::vector<Window> ClientList(Display* display, Window root) {
    std::vector<Window> windows;
    const Atom listAtom = XInternAtom(display, "_NET_CLIENT_LIST", True);
    if (listAtom == None) return windows;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, listAtom, 0, 65536, False, XA_WINDOW, &type, &format,
                           &count, &remaining, &data) == Success &&
        type == XA_WINDOW && format == 32) {
        const auto* ids = reinterpret_cast<unsigned long*>(data);
        windows.assign(ids, ids + count);
    }
    if (data != nullptr) XFree(data);
    return windows;
}

Window FindInTree(Display* display, Window window, Atom pidAtom, long pid, int depth) {
    long windowPid = 0;
    if (ReadWindowPid(display, window, pidAtom, windowPid) && windowPid == pid) return window;
    if (depth > 4) return None;
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return None;
    Window found = None;
    for (unsigned int i = 0; i < count && found == None; ++i) {
        found = FindInTree(display, children[i], pidAtom, pid, depth + 1);
    }
    if (children != nullptr) XFree(children);
    return found;
}

Window FindWindowOfPid(Display* display, long pid) {
    const Window root = DefaultRootWindow(display);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return None;
    for (Window window : ClientList(display, root)) {
        long windowPid = 0;
        if (ReadWindowPid(display, window, pidAtom, windowPid) && windowPid == pid) return window;
    }
    return FindInTree(display, root, pidAtom, pid, 0);
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

void RequestActivation(Display* display, Window window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    // Source 2 (a pager-like request) makes window managers honour it despite focus-stealing
    // prevention; the user did ask for the program.
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

}  // namespace

void OsActivateOtherInstance() {
    const int pid = OsInstanceLockHolderPid();
    if (pid <= 0) return;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return;
    // Windows may vanish while we look at them.
    auto* previous = XSetErrorHandler(IgnoreXErrors);
    const Window window = FindWindowOfPid(display, pid);
    if (window != None) RequestActivation(display, window);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
}
