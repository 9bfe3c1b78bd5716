// The input tap on X11. Thread "QLN input tap" owns two connections: the observer selects
// XInput 2 raw events on the root window and feeds TapCallback; the grab connection holds
// exactly the grabs that swallow. They must be separate: a client's own grab would stop its
// raw release events.
#include "platform/keys.h"
#include "platform/tap.h"
#include "platform/thread.h"
#include "platform/x11/grabs_x11.h"
#include "platform/x11/window_query.h"

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

namespace {

struct TapConnections {
    Display* observer = nullptr;
    Display* grabber = nullptr;
    int xiOpcode = 0;
    int screenSaverEventBase = -1;
    int xtestPointerId = -1;
    int xtestKeyboardId = -1;
    GrabState grabs;
};

std::atomic<bool> g_TapRunning{false};
std::thread g_TapThread;
int g_TapWakeFd = -1;
std::atomic<uint64_t> g_GrabRequests{0};
std::atomic<uint64_t> g_GrabsApplied{0};
std::atomic<bool> g_ConnectionLost{false};
std::atomic<uint64_t> g_HandlingHistogram[kTapTimingBuckets];

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
    SetWindowQueryConnection(nullptr);
    if (alive) {
        if (c.grabs.crosshair != None) XFreeCursor(c.grabber, c.grabs.crosshair);
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
    c.grabs.crosshair = XCreateFontCursor(c.grabber, XC_crosshair);
    SetWindowQueryConnection(c.observer);
    XSync(c.observer, False);
    XSync(c.grabber, False);
    return true;
}

void SyncGrabs(TapConnections& c) {
    const uint64_t request = g_GrabRequests.load();
    ApplySwallowSet(c.grabber, c.grabs, CurrentSwallowSet());
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
