// The input tap on X11. Thread "QLN input tap" owns two connections: the observer selects
// XInput 2 raw events on the root window and feeds TapCallback; the grab connection holds
// exactly the grabs that swallow. They must be separate: a client's own grab would stop its
// raw release events.
#include "platform/keys.h"
#include "platform/tap.h"
#include "platform/thread.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/scrnsaver.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>

std::string ExecutablePathOf(long pid);

namespace {

struct TapConnections {
    Display* observer = nullptr;
    Display* grabber = nullptr;
    int xiOpcode = 0;
    int screenSaverEventBase = -1;
    int xtestPointerId = -1;
    int xtestKeyboardId = -1;
    Cursor crosshair = None;
    SwallowSet applied;
    bool keyboardGrabbed = false;
    bool pointerGrabbed = false;
};

std::atomic<bool> g_TapRunning{false};
std::thread g_TapThread;
int g_TapWakeFd = -1;
std::atomic<uint64_t> g_GrabRequests{0};
std::atomic<uint64_t> g_GrabsApplied{0};
std::atomic<bool> g_ConnectionLost{false};
std::atomic<uint64_t> g_HandlingHistogram[kTapTimingBuckets];
Display* g_TapQueries = nullptr;  // the observer connection, for window look-ups on the tap thread

// A failed grab (another client holds it) must not end the process; the next sync retries.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

void OnConnectionLost(Display*, void*) { g_ConnectionLost.store(true); }

bool HasXInput22(Display* display, int& opcode) {
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return false;
    return XIQueryVersion(display, &major, &minor) == Success &&
           (major > 2 || (major == 2 && minor >= 2));
}

void FindXTestDevices(TapConnections& c) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(c.observer, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const std::string name = devices[i].name;
        if (name == "Virtual core XTEST pointer") c.xtestPointerId = devices[i].deviceid;
        if (name == "Virtual core XTEST keyboard") c.xtestKeyboardId = devices[i].deviceid;
    }
    XIFreeDeviceInfo(devices);
}

void SelectRawEvents(TapConnections& c) {
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawKeyRelease);
    XISetMask(mask, XI_RawButtonPress);
    XISetMask(mask, XI_RawButtonRelease);
    XISetMask(mask, XI_RawMotion);
    XIEventMask eventMask{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(c.observer, DefaultRootWindow(c.observer), &eventMask, 1);
}

void WatchScreenSaver(TapConnections& c) {
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(c.observer, &eventBase, &errorBase)) return;
    c.screenSaverEventBase = eventBase;
    XScreenSaverSelectInput(c.observer, DefaultRootWindow(c.observer), ScreenSaverNotifyMask);
}

void CloseConnections(TapConnections& c, bool alive) {
    g_TapQueries = nullptr;
    if (alive) {
        if (c.crosshair != None) XFreeCursor(c.grabber, c.crosshair);
        XCloseDisplay(c.grabber);
        XCloseDisplay(c.observer);
    }
    // A dead connection's memory is left alone: Xlib may not be called on it again.
    c = TapConnections{};
}

bool OpenConnections(TapConnections& c) {
    c.observer = XOpenDisplay(nullptr);
    if (!c.observer) return false;
    c.grabber = XOpenDisplay(nullptr);
    if (!c.grabber || !HasXInput22(c.observer, c.xiOpcode)) {
        if (c.grabber) XCloseDisplay(c.grabber);
        XCloseDisplay(c.observer);
        c = TapConnections{};
        return false;
    }
    XSetIOErrorExitHandler(c.observer, OnConnectionLost, nullptr);
    XSetIOErrorExitHandler(c.grabber, OnConnectionLost, nullptr);
    FindXTestDevices(c);
    SelectRawEvents(c);
    WatchScreenSaver(c);
    c.crosshair = XCreateFontCursor(c.grabber, XC_crosshair);
    g_TapQueries = c.observer;
    XSync(c.observer, False);
    XSync(c.grabber, False);
    return true;
}

unsigned XButtonOfVk(int vk) {
    switch (vk) {
        case 1:
            return 1;
        case 2:
            return 3;
        case 4:
            return 2;
        case 5:
            return 8;
        case 6:
            return 9;
        default:
            return 0;
    }
}

void SetKeyGrab(TapConnections& c, int vk, bool grab) {
    const int keyCode = VkToOsKeyCode(vk);
    if (keyCode < 0) return;
    const Window root = DefaultRootWindow(c.grabber);
    if (grab) {
        XGrabKey(c.grabber, keyCode, AnyModifier, root, False, GrabModeAsync, GrabModeAsync);
    } else {
        XUngrabKey(c.grabber, keyCode, AnyModifier, root);
    }
}

void SetButtonGrab(TapConnections& c, int vk, bool grab) {
    const unsigned button = XButtonOfVk(vk);
    if (button == 0) return;
    const Window root = DefaultRootWindow(c.grabber);
    if (grab) {
        XGrabButton(c.grabber, button, AnyModifier, root, False,
                    ButtonPressMask | ButtonReleaseMask, GrabModeAsync, GrabModeAsync, None, None);
    } else {
        XUngrabButton(c.grabber, button, AnyModifier, root);
    }
}

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Grabs what is wanted and not held, lets go of what is held and not wanted.
void ApplyPassiveGrabs(TapConnections& c, const SwallowSet& want) {
    for (int vk : c.applied.keys) {
        if (!Contains(want.keys, vk)) SetKeyGrab(c, vk, false);
    }
    for (int vk : want.keys) {
        if (!Contains(c.applied.keys, vk)) SetKeyGrab(c, vk, true);
    }
    for (int vk : c.applied.buttons) {
        if (!Contains(want.buttons, vk)) SetButtonGrab(c, vk, false);
    }
    for (int vk : want.buttons) {
        if (!Contains(c.applied.buttons, vk)) SetButtonGrab(c, vk, true);
    }
}

void ApplyActiveGrabs(TapConnections& c, const SwallowSet& want) {
    const Window root = DefaultRootWindow(c.grabber);
    if (want.wholeKeyboard && !c.keyboardGrabbed) {
        c.keyboardGrabbed = XGrabKeyboard(c.grabber, root, False, GrabModeAsync, GrabModeAsync,
                                          CurrentTime) == GrabSuccess;
    } else if (!want.wholeKeyboard && c.applied.wholeKeyboard) {
        // The captured key's release belongs to the focused window again.
        XUngrabKeyboard(c.grabber, CurrentTime);
        c.keyboardGrabbed = false;
    }
    const bool captureEnded = c.applied.wholeKeyboard && !want.wholeKeyboard;
    if (want.pickingPointer && !c.pointerGrabbed) {
        c.pointerGrabbed =
            XGrabPointer(c.grabber, root, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                         GrabModeAsync, None, c.crosshair, CurrentTime) == GrabSuccess;
    } else if ((!want.pickingPointer && c.applied.pickingPointer) || captureEnded) {
        // Let the picked or captured button's release reach the window below.
        XUngrabPointer(c.grabber, CurrentTime);
        c.pointerGrabbed = false;
    }
}

void SyncGrabs(TapConnections& c) {
    const uint64_t request = g_GrabRequests.load();
    const SwallowSet want = CurrentSwallowSet();
    const bool activeMissing =
        (want.wholeKeyboard && !c.keyboardGrabbed) || (want.pickingPointer && !c.pointerGrabbed);
    if (!(want == c.applied) || activeMissing) {
        ApplyPassiveGrabs(c, want);
        ApplyActiveGrabs(c, want);
        c.applied = want;
        XSync(c.grabber, False);
    }
    g_GrabsApplied.store(request);
}

bool IsOurs(const TapConnections& c, int sourceId) {
    return sourceId == c.xtestPointerId || sourceId == c.xtestKeyboardId;
}

void PointerPosition(TapConnections& c, int deviceId, double& x, double& y) {
    Window root = 0, child = 0;
    double winX = 0, winY = 0;
    XIButtonState buttons{};
    XIModifierState mods{};
    XIGroupState group{};
    x = y = 0;
    if (XIQueryPointer(c.observer, deviceId, DefaultRootWindow(c.observer), &root, &child, &x, &y,
                       &winX, &winY, &buttons, &mods, &group)) {
        free(buttons.mask);
    }
}

void HandleRawButton(TapConnections& c, const XIRawEvent& raw, bool down) {
    TapEvent event;
    switch (raw.detail) {
        case 1:
            event.vk = 1;
            break;
        case 2:
            event.vk = 4;
            break;
        case 3:
            event.vk = 2;
            break;
        case 4:
        case 5:
            // The vertical wheel: one line per click, on the press only.
            if (!down) return;
            event.kind = TapEvent::kWheel;
            event.wheelLines = raw.detail == 4 ? 1 : -1;
            TapCallback(event);
            return;
        case 8:
            event.vk = 5;
            break;
        case 9:
            event.vk = 6;
            break;
        default:
            return;
    }
    event.kind = TapEvent::kButton;
    event.down = down;
    PointerPosition(c, raw.deviceid, event.x, event.y);
    TapCallback(event);
}

void HandleRawMotion(TapConnections& c, const XIRawEvent& raw) {
    TapEvent event;
    event.kind = TapEvent::kMove;
    const double* values = raw.valuators.values;
    for (int axis = 0; axis < 2 && axis < raw.valuators.mask_len * 8; ++axis) {
        if (!XIMaskIsSet(raw.valuators.mask, axis)) continue;
        (axis == 0 ? event.dx : event.dy) = static_cast<int64_t>(*values++);
    }
    if (TapWantsMovePositions()) {
        PointerPosition(c, raw.deviceid, event.x, event.y);
    } else {
        event.x = event.y = NAN;
    }
    TapCallback(event);
}

void HandleRawEvent(TapConnections& c, XGenericEventCookie& cookie) {
    const auto& raw = *static_cast<const XIRawEvent*>(cookie.data);
    if (IsOurs(c, raw.sourceid)) return;
    switch (cookie.evtype) {
        case XI_RawKeyPress:
        case XI_RawKeyRelease: {
            TapEvent event;
            event.vk = OsKeyCodeToVk(raw.detail);
            event.down = cookie.evtype == XI_RawKeyPress;
            if (event.vk != 0) TapCallback(event);
            break;
        }
        case XI_RawButtonPress:
            HandleRawButton(c, raw, true);
            break;
        case XI_RawButtonRelease:
            HandleRawButton(c, raw, false);
            break;
        case XI_RawMotion:
            HandleRawMotion(c, raw);
            break;
        default:
            break;
    }
}

void CountHandlingTime(std::chrono::steady_clock::duration spent) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(spent).count();
    const auto bucket = std::min<long long>(std::max<long long>(micros, 0), kTapTimingBuckets - 1);
    g_HandlingHistogram[bucket].fetch_add(1, std::memory_order_relaxed);
}

void DrainObserver(TapConnections& c) {
    while (!g_ConnectionLost.load() && XPending(c.observer) > 0) {
        XEvent event;
        XNextEvent(c.observer, &event);
        if (c.screenSaverEventBase >= 0 &&
            event.type == c.screenSaverEventBase + ScreenSaverNotify) {
            if (reinterpret_cast<XScreenSaverNotifyEvent*>(&event)->state == ScreenSaverOn) {
                InputTapOnSessionLocked();
            }
            continue;
        }
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != c.xiOpcode) continue;
        const auto started = std::chrono::steady_clock::now();
        if (!XGetEventData(c.observer, &cookie)) continue;
        const bool motion = cookie.evtype == XI_RawMotion;
        HandleRawEvent(c, cookie);
        XFreeEventData(c.observer, &cookie);
        // A key or button may have changed what must be swallowed before the next event comes.
        if (!motion) SyncGrabs(c);
        CountHandlingTime(std::chrono::steady_clock::now() - started);
    }
}

// Events that our grabs took away from the other applications; nothing to do with them.
void DrainGrabber(TapConnections& c) {
    while (!g_ConnectionLost.load() && XPending(c.grabber) > 0) {
        XEvent event;
        XNextEvent(c.grabber, &event);
    }
}

void ServeConnections(TapConnections& c) {
    while (g_TapRunning.load() && !g_ConnectionLost.load()) {
        SyncGrabs(c);
        pollfd fds[3] = {{ConnectionNumber(c.observer), POLLIN, 0},
                         {ConnectionNumber(c.grabber), POLLIN, 0},
                         {g_TapWakeFd, POLLIN, 0}};
        if (XPending(c.observer) == 0 && XPending(c.grabber) == 0) {
            // Settings written elsewhere without a wake are picked up within this period.
            poll(fds, 3, 50);
        }
        if (fds[2].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = read(g_TapWakeFd, &count, sizeof count);
        }
        if (fds[0].revents & (POLLHUP | POLLERR) || fds[1].revents & (POLLHUP | POLLERR)) {
            g_ConnectionLost.store(true);
            break;
        }
        DrainObserver(c);
        DrainGrabber(c);
    }
}

void TapThreadBody(std::promise<bool> ready) {
    OsNameThread("QLN input tap");
    OsRaiseToUserInteractive();
    TapConnections c;
    if (!OpenConnections(c)) {
        ready.set_value(false);
        return;
    }
    // Live means the hotkeys already swallow when the start returns.
    SyncGrabs(c);
    ready.set_value(true);
    while (g_TapRunning.load()) {
        ServeConnections(c);
        const bool lost = g_ConnectionLost.exchange(false);
        CloseConnections(c, !lost);
        if (!lost) break;
        // The display went away: keep trying until it is back or the tap is stopped, and
        // start with clean trackers, since releases were missed.
        while (g_TapRunning.load() && !OpenConnections(c)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        ResetTapTrackersOnNextEvent();
    }
    if (c.observer) CloseConnections(c, true);
}

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

void WakeTap() {
    if (g_TapWakeFd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(g_TapWakeFd, &one, sizeof one);
}

}  // namespace

bool OsStartInputTap() {
    if (g_TapRunning.load()) return true;
    XSetErrorHandler(IgnoreXError);
    g_TapWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (g_TapWakeFd < 0) return false;
    g_TapRunning.store(true);
    std::promise<bool> ready;
    std::future<bool> live = ready.get_future();
    g_TapThread = std::thread(TapThreadBody, std::move(ready));
    if (live.get()) return true;
    g_TapRunning.store(false);
    g_TapThread.join();
    close(g_TapWakeFd);
    g_TapWakeFd = -1;
    return false;
}

void OsStopInputTap() {
    if (!g_TapRunning.exchange(false)) return;
    WakeTap();
    if (g_TapThread.joinable()) g_TapThread.join();
    close(g_TapWakeFd);
    g_TapWakeFd = -1;
}

bool OsInputTapRunning() { return g_TapRunning.load(); }

std::vector<uint64_t> OsTapHandlingHistogram() {
    std::vector<uint64_t> counts(kTapTimingBuckets);
    for (int i = 0; i < kTapTimingBuckets; ++i) counts[i] = g_HandlingHistogram[i].load();
    return counts;
}

std::string ExecutablePathOf(long pid) {
    char path[4097] = {};
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

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
    const long pid = OwnerPidOf(display, child, 2);
    if (pid <= 0) return false;
    if (pid == getpid()) return true;
    const std::string path = ExecutablePathOf(pid);
    return !path.empty() && path == OwnExecutablePath();
}

void OsTapRefreshGrabs() {
    g_GrabRequests.fetch_add(1);
    WakeTap();
}

bool OsTapSyncGrabs(int timeoutMs) {
    if (!g_TapRunning.load()) return false;
    const uint64_t request = g_GrabRequests.fetch_add(1) + 1;
    WakeTap();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (g_GrabsApplied.load() < request) {
        if (std::chrono::steady_clock::now() >= until || !g_TapRunning.load()) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
