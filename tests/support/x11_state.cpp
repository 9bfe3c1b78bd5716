#include "tests/support/x11_state.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {

struct Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
};

// Pointer position and button mask; false without a display.
bool QueryPointer(int& x, int& y, unsigned& mask) {
    Connection c;
    Window root, child;
    int winX, winY;
    return c.display && XQueryPointer(c.display, DefaultRootWindow(c.display), &root, &child, &x,
                                      &y, &winX, &winY, &mask);
}

bool g_GrabRefused = false;
int NoteRefusedGrab(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess) g_GrabRefused = true;
    return 0;
}

}  // namespace

std::vector<int> ServerHeldButtons() {
    int x, y;
    unsigned mask = 0;
    std::vector<int> held;
    if (!QueryPointer(x, y, mask)) return held;
    for (int button = 1; button <= 5; ++button) {
        if (mask & (Button1Mask << (button - 1))) held.push_back(button);
    }
    return held;
}

std::vector<int> ServerHeldKeys() {
    Connection c;
    std::vector<int> held;
    char keys[32] = {};
    if (c.display) XQueryKeymap(c.display, keys);
    for (int code = 0; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8))) held.push_back(code);
    }
    return held;
}

std::pair<int, int> ServerPointer() {
    int x, y;
    unsigned mask;
    return QueryPointer(x, y, mask) ? std::make_pair(x, y) : std::make_pair(-1, -1);
}

int GrabKeyOnRoot(Display* display, int keyCode, bool grab) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XIGrabModifiers modifiers{static_cast<int>(XIAnyModifier), 0};
    const Window root = DefaultRootWindow(display);
    const int failed = grab ? XIGrabKeycode(display, 3, keyCode, root, XIGrabModeAsync,
                                            XIGrabModeAsync, False, &mask, 1, &modifiers)
                            : XIUngrabKeycode(display, 3, keyCode, root, 1, &modifiers);
    XSync(display, False);
    return failed;
}

bool KeyGrabbedByAnotherClient(int keyCode) {
    Connection c;
    if (!c.display) return false;
    XSync(c.display, False);
    g_GrabRefused = false;
    auto* previous = XSetErrorHandler(NoteRefusedGrab);
    const int failed = GrabKeyOnRoot(c.display, keyCode, true);
    GrabKeyOnRoot(c.display, keyCode, false);
    XSetErrorHandler(previous);
    return g_GrabRefused || failed > 0;
}
