// Input synthesis through XTEST on a connection of its own. The auto clicker, key spammer and
// signal processor post concurrently, so every request goes through one mutex.
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/x11/connection_x11.h"
#include "platform/x11/pointer_track_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <mutex>

std::atomic<uint32_t> g_HeldButtons{0};

namespace {

std::mutex g_SynthMutex;
Display* g_SynthDisplay = nullptr;  // guarded by g_SynthMutex

// With the display gone nothing can be posted, and Xlib must not be asked to.
bool CanPost() { return g_SynthDisplay && !OsDisplayLost(); }

bool HasXTest22(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) return false;
    return major > 2 || (major == 2 && minor >= 2);
}

unsigned XButtonFor(int button) {
    if (button == 0) return 1;
    if (button == 1) return 3;
    return 2;
}

uint32_t HeldBitFor(int button) {
    if (button == 0) return 1u;
    if (button == 1) return 2u;
    return 4u;
}

// Caller holds g_SynthMutex.
void PressAndRelease(unsigned button) {
    XTestFakeButtonEvent(g_SynthDisplay, button, True, CurrentTime);
    XTestFakeButtonEvent(g_SynthDisplay, button, False, CurrentTime);
}

}  // namespace

bool OsInputInit() {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (g_SynthDisplay) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    if (!HasXTest22(display)) {
        XCloseDisplay(display);
        return false;
    }
    WatchConnection(display);
    // Posted events must not be held back behind a grab of ours on another connection.
    XTestGrabControl(display, True);
    g_SynthDisplay = display;
    return true;
}

void OsInputShutdown() {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!g_SynthDisplay) return;
    if (!OsDisplayLost()) XCloseDisplay(g_SynthDisplay);
    g_SynthDisplay = nullptr;
}

void OsMouseButton(int button, bool down, int clickCount) {
    (void)clickCount;
    const uint32_t bit = HeldBitFor(button);
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    if (down) {
        g_HeldButtons.fetch_or(bit);
    } else {
        g_HeldButtons.fetch_and(~bit);
    }
    XTestFakeButtonEvent(g_SynthDisplay, XButtonFor(button), down ? True : False, CurrentTime);
    XFlush(g_SynthDisplay);
}

bool OsHoldsButton(int button) { return (g_HeldButtons.load() & HeldBitFor(button)) != 0; }

void OsMoveMouseTo(int x, int y) {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    g_OwnPointerMoves.fetch_add(1);  // before the move, so the tap cannot miss it
    XTestFakeMotionEvent(g_SynthDisplay, -1, x, y, CurrentTime);
    XFlush(g_SynthDisplay);
}

void OsMoveMouseBy(int dx, int dy) {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    g_OwnPointerMoves.fetch_add(1);
    XTestFakeRelativeMotionEvent(g_SynthDisplay, dx, dy, CurrentTime);
    XFlush(g_SynthDisplay);
}

void OsScrollLines(int lines) {
    // X reports the wheel as buttons 4 (away from the user) and 5, one click per line.
    const unsigned button = lines > 0 ? 4 : 5;
    const int clicks = lines > 0 ? lines : -lines;
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    for (int i = 0; i < clicks; ++i) PressAndRelease(button);
    XFlush(g_SynthDisplay);
}

void OsSideButtonClick() {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    PressAndRelease(8);
    XFlush(g_SynthDisplay);
}

void OsKeyVk(int vk, bool down) {
    const int keyCode = VkToOsKeyCode(vk);
    if (keyCode < 0) return;
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    XTestFakeKeyEvent(g_SynthDisplay, static_cast<unsigned>(keyCode), down ? True : False,
                      CurrentTime);
    XFlush(g_SynthDisplay);
}

void OsScreenSize(int& width, int& height) {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    width = height = 0;
    if (!CanPost()) return;
    const int screen = DefaultScreen(g_SynthDisplay);
    width = DisplayWidth(g_SynthDisplay, screen);
    height = DisplayHeight(g_SynthDisplay, screen);
}

void OsInputSync() {
    std::lock_guard<std::mutex> lock(g_SynthMutex);
    if (!CanPost()) return;
    XSync(g_SynthDisplay, False);
}
