#include "tests/support/x11_state.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace {
constexpr int kCoreKeyboard = 3;  // "Virtual core keyboard" on every X server

struct Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
};
}  // namespace

std::vector<int> ServerHeldButtons() {
    Connection c;
    std::vector<int> held;
    if (!c.display) return held;
    Window root, child;
    int rootX, rootY, winX, winY;
    unsigned mask = 0;
    XQueryPointer(c.display, DefaultRootWindow(c.display), &root, &child, &rootX, &rootY, &winX,
                  &winY, &mask);
    const unsigned buttonMasks[] = {Button1Mask, Button2Mask, Button3Mask, Button4Mask,
                                    Button5Mask};
    for (int i = 0; i < 5; ++i) {
        if (mask & buttonMasks[i]) held.push_back(i + 1);
    }
    return held;
}

std::vector<int> ServerHeldKeys() {
    Connection c;
    std::vector<int> held;
    if (!c.display) return held;
    char keys[32] = {};
    XQueryKeymap(c.display, keys);
    for (int code = 0; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8))) held.push_back(code);
    }
    return held;
}

bool ServerPointerPosition(int& x, int& y) {
    Connection c;
    if (!c.display) return false;
    Window root, child;
    int winX, winY;
    unsigned mask = 0;
    return XQueryPointer(c.display, DefaultRootWindow(c.display), &root, &child, &x, &y, &winX,
                         &winY, &mask);
}

void HarnessWarpPointer(int x, int y) {
    Connection c;
    if (!c.display) return;
    XTestFakeMotionEvent(c.display, -1, x, y, CurrentTime);
    XSync(c.display, False);
}

namespace {
bool g_GrabRefused = false;
int NoteRefusedGrab(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess) g_GrabRefused = true;
    return 0;
}
}  // namespace

bool KeyGrabbedByAnotherClient(int keyCode) {
    Connection c;
    if (!c.display) return false;
    XSync(c.display, False);
    g_GrabRefused = false;
    auto* previous = XSetErrorHandler(NoteRefusedGrab);
    const Window root = DefaultRootWindow(c.display);
    // The same kind of grab as the tap's: an XInput 2 grab on the core keyboard.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XIGrabModifiers modifiers{static_cast<int>(XIAnyModifier), 0};
    const int failed = XIGrabKeycode(c.display, kCoreKeyboard, keyCode, root, XIGrabModeAsync,
                                     XIGrabModeAsync, False, &mask, 1, &modifiers);
    XSync(c.display, False);
    XIUngrabKeycode(c.display, kCoreKeyboard, keyCode, root, 1, &modifiers);
    XSync(c.display, False);
    XSetErrorHandler(previous);
    return g_GrabRefused || failed > 0;
}
