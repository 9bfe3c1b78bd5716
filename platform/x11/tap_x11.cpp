// The input tap on X11. Thread "QLN input tap" owns two connections: the observer selects
// XInput 2 raw events on the root window and feeds TapCallback; the grab connection holds
// exactly the grabs that swallow. They must be separate: a client's own grab would stop its
// raw release events.
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/tap.h"
#include "platform/thread.h"
#include "platform/x11/connection_x11.h"
#include "platform/x11/grabs_x11.h"
#include "platform/x11/pointer_track_x11.h"
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
#include <deque>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct TapConnections {
    Display* observer = nullptr;
    Display* grabber = nullptr;
    int xiOpcode = 0;
    int screenSaverEventBase = -1;
    PointerTracks pointers;
    int64_t lastLearningAskNs = 0;
    int firstMasterPointer = 2;
    GrabState grabs;
    // Events taken from Xlib with their data, not handled yet: an answer from the server is
    // weighed against the motions it had handled before answering.
    std::deque<XEvent> taken;
};

std::atomic<bool> g_TapRunning{false};
std::thread g_TapThread;
int g_TapWakeFd = -1;
std::atomic<uint64_t> g_GrabRequests{0};
std::atomic<uint64_t> g_GrabsApplied{0};
std::atomic<uint64_t> g_HandlingHistogram[kTapTimingBuckets];

// A failed grab (another client holds it, a device went away) must not end the process; the
// next sync retries.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool HasXInput22(Display* display, int& opcode) {
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return false;
    return XIQueryVersion(display, &major, &minor) == Success &&
           (major > 2 || (major == 2 && minor >= 2));
}

bool IsOurs(const TapConnections& c, int sourceId) {
    return sourceId == c.grabs.xtestPointerId || sourceId == c.grabs.xtestKeyboardId;
}

bool IsSlave(const XIDeviceInfo& d) {
    return d.use == XISlavePointer || d.use == XISlaveKeyboard || d.use == XIFloatingSlave;
}

// Raw events are selected on the physical devices only, so our own XTEST events never even
// wake the tap; only while a recording follows the pointer are our own moves read too.
// Devices come and go, or change their axes: called again on each such change.
void SelectRawEvents(TapConnections& c) {
    unsigned char raw[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(raw, XI_RawKeyPress);
    XISetMask(raw, XI_RawKeyRelease);
    XISetMask(raw, XI_RawButtonPress);
    XISetMask(raw, XI_RawButtonRelease);
    XISetMask(raw, XI_RawMotion);
    XISetMask(raw, XI_DeviceChanged);
    unsigned char own[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(own, XI_RawMotion);
    unsigned char hierarchy[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(hierarchy, XI_HierarchyChanged);
    std::vector<XIEventMask> masks{{XIAllDevices, sizeof hierarchy, hierarchy}};
    bool masterSeen = false;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(c.observer, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& d = devices[i];
        if (d.use == XIMasterPointer && !masterSeen) {
            c.firstMasterPointer = d.deviceid;
            masterSeen = true;
        }
        if (d.deviceid == c.grabs.xtestPointerId && c.pointers.ownMovesInStream) {
            masks.push_back(XIEventMask{d.deviceid, sizeof own, own});
        }
        if (!IsSlave(d) || IsOurs(c, d.deviceid)) continue;
        masks.push_back(XIEventMask{d.deviceid, sizeof raw, raw});
    }
    LearnPointerDevices(devices, count, c.pointers);
    XIFreeDeviceInfo(devices);
    XISelectEvents(c.observer, DefaultRootWindow(c.observer), masks.data(),
                   static_cast<int>(masks.size()));
}

// The master pointer whose position a slave's events move.
int MasterPointerOf(const TapConnections& c, int slaveId) {
    for (const auto& slave : c.pointers.slaves) {
        if (slave.id == slaveId && slave.master > 0) return slave.master;
    }
    return c.firstMasterPointer;
}

// The desktop's size bounds the tracked positions; a change of it is seen on the root window.
void WatchDesktopSize(TapConnections& c) {
    const int screen = DefaultScreen(c.observer);
    c.pointers.width = DisplayWidth(c.observer, screen);
    c.pointers.height = DisplayHeight(c.observer, screen);
    XSelectInput(c.observer, DefaultRootWindow(c.observer), StructureNotifyMask);
}

void WatchScreenSaver(TapConnections& c) {
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(c.observer, &eventBase, &errorBase)) return;
    c.screenSaverEventBase = eventBase;
    XScreenSaverSelectInput(c.observer, DefaultRootWindow(c.observer), ScreenSaverNotifyMask);
}

bool IsXInputEvent(const TapConnections& c, const XEvent& event) {
    return event.xcookie.type == GenericEvent && event.xcookie.extension == c.xiOpcode;
}

// Takes every event Xlib has read, claiming each one's data.
void TakeQueuedEvents(TapConnections& c) {
    while (XEventsQueued(c.observer, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(c.observer, &event);
        if (IsXInputEvent(c, event) && !XGetEventData(c.observer, &event.xcookie)) continue;
        c.taken.push_back(event);
    }
}

void FreeTakenEvents(TapConnections& c) {
    for (XEvent& event : c.taken) {
        if (IsXInputEvent(c, event)) XFreeEventData(c.observer, &event.xcookie);
    }
    c.taken.clear();
}

std::vector<const XIRawEvent*> TakenMotions(const TapConnections& c) {
    std::vector<const XIRawEvent*> motions;
    for (const XEvent& event : c.taken) {
        if (IsXInputEvent(c, event) && event.xcookie.evtype == XI_RawMotion) {
            motions.push_back(static_cast<const XIRawEvent*>(event.xcookie.data));
        }
    }
    return motions;
}

void CloseConnections(TapConnections& c) {
    SetWindowQueryConnection(nullptr);
    FreeTakenEvents(c);  // only memory: no word with the server
    // A broken connection is left alone: Xlib may not be asked to talk on it again.
    if (!OsDisplayLost()) {
        if (c.grabs.crosshair != None) XFreeCursor(c.grabber, c.grabs.crosshair);
        XCloseDisplay(c.grabber);
        XCloseDisplay(c.observer);
    }
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
    WatchConnection(c.observer);
    WatchConnection(c.grabber);
    WatchGrabDevices(c.grabber, c.grabs);
    SelectRawEvents(c);
    WatchDesktopSize(c);
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

// How often a device not learnt yet is checked against the server while nothing records.
constexpr int64_t kLearningAskNs = 10000000;

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Asks the server where a device's master pointer is; true when no event came in before the
// answer, so it is the position right after the last event handled. Whatever did come in is
// taken, so it can be weighed against the answer.
bool PointerPosition(TapConnections& c, int slaveId, double& x, double& y) {
    Window root = 0, child = 0;
    double winX = 0, winY = 0;
    XIButtonState buttons{};
    XIModifierState mods{};
    XIGroupState group{};
    x = y = NAN;
    if (XIQueryPointer(c.observer, MasterPointerOf(c, slaveId), DefaultRootWindow(c.observer),
                       &root, &child, &x, &y, &winX, &winY, &buttons, &mods, &group)) {
        free(buttons.mask);
    } else {
        x = y = NAN;
    }
    TakeQueuedEvents(c);
    return c.taken.empty();
}

void AskPointerPosition(TapConnections& c, const XIRawEvent& raw, double& x, double& y) {
    PointerPosition(c, raw.sourceid, x, y);
    NoteAskedPosition(c.pointers, raw, TakenMotions(c), SteadyNs(), x, y);
}

bool HandleRawButton(TapConnections& c, const XIRawEvent& raw, bool down) {
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
            if (!down) return false;
            event.kind = TapEvent::kWheel;
            event.wheelLines = raw.detail == 4 ? 1 : -1;
            return TapCallback(event);
        case 8:
            event.vk = 5;
            break;
        case 9:
            event.vk = 6;
            break;
        default:
            return false;
    }
    event.kind = TapEvent::kButton;
    event.down = down;
    if (!TrackedClickPosition(c.pointers, raw, SteadyNs(), event.x, event.y)) {
        AskPointerPosition(c, raw, event.x, event.y);
    }
    return TapCallback(event);
}

void HandleRawMotion(TapConnections& c, const XIRawEvent& raw) {
    TapEvent event;
    event.kind = TapEvent::kMove;
    const double* values = raw.valuators.values;
    for (int axis = 0; axis < 2 && axis < raw.valuators.mask_len * 8; ++axis) {
        if (!XIMaskIsSet(raw.valuators.mask, axis)) continue;
        (axis == 0 ? event.dx : event.dy) = static_cast<int64_t>(*values++);
    }
    const bool wanted = TapWantsMovePositions();
    const int64_t now = SteadyNs();
    // The track costs nothing but the valuators, so it is kept outside recordings too; so is
    // the learning, now and then, so a recording starts with its devices learnt.
    const bool tracked = TrackedPosition(c.pointers, raw, now, event.x, event.y);
    if (!tracked && (wanted || now - c.lastLearningAskNs >= kLearningAskNs)) {
        c.lastLearningAskNs = now;
        AskPointerPosition(c, raw, event.x, event.y);
    } else if (!tracked) {
        ForgetPointerPositions(c.pointers);
    }
    if (!wanted) event.x = event.y = NAN;
    TapCallback(event);
}

// True when the dispatch swallowed the event.
bool HandleRawEvent(TapConnections& c, XGenericEventCookie& cookie) {
    if (cookie.evtype == XI_HierarchyChanged || cookie.evtype == XI_DeviceChanged) {
        // A device whose axes changed is read anew; one that was only joined by others keeps
        // what was learnt of it.
        if (cookie.evtype == XI_DeviceChanged) c.pointers.slaves.clear();
        SelectRawEvents(c);
        ForgetPointerPositions(c.pointers);
        return false;
    }
    const auto& raw = *static_cast<const XIRawEvent*>(cookie.data);
    if (IsOurs(c, raw.sourceid)) {
        // Our own move, read while recording: it is placed among the user's motions as the
        // server placed it, which a count read later could not tell.
        if (cookie.evtype == XI_RawMotion) ForgetPointerPositions(c.pointers);
        return false;
    }
    switch (cookie.evtype) {
        case XI_RawKeyPress:
        case XI_RawKeyRelease: {
            TapEvent event;
            event.vk = OsKeyCodeToVk(raw.detail);
            event.down = cookie.evtype == XI_RawKeyPress;
            return event.vk != 0 && TapCallback(event);
        }
        case XI_RawButtonPress:
            return HandleRawButton(c, raw, true);
        case XI_RawButtonRelease:
            return HandleRawButton(c, raw, false);
        case XI_RawMotion:
            HandleRawMotion(c, raw);
            return false;
        default:
            return false;
    }
}

void CountHandlingTime(std::chrono::steady_clock::duration spent) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(spent).count();
    const auto bucket = std::min<long long>(std::max<long long>(micros, 0), kTapTimingBuckets - 1);
    g_HandlingHistogram[bucket].fetch_add(1, std::memory_order_relaxed);
}

void HandleObserverEvent(TapConnections& c, XEvent& event) {
    if (c.screenSaverEventBase >= 0 && event.type == c.screenSaverEventBase + ScreenSaverNotify) {
        if (reinterpret_cast<XScreenSaverNotifyEvent*>(&event)->state == ScreenSaverOn) {
            InputTapOnSessionLocked();
        }
        return;
    }
    if (event.type == ConfigureNotify && event.xconfigure.window == DefaultRootWindow(c.observer)) {
        c.pointers.width = event.xconfigure.width;
        c.pointers.height = event.xconfigure.height;
        ForgetPointerPositions(c.pointers);
        return;
    }
    if (!IsXInputEvent(c, event)) return;
    const auto started = std::chrono::steady_clock::now();
    const bool swallowed = HandleRawEvent(c, event.xcookie);
    XFreeEventData(c.observer, &event.xcookie);
    // Only what the dispatch swallowed (a hotkey, a capture, a pick) can change what must
    // be swallowed, and that before the next event comes.
    if (swallowed) SyncGrabs(c);
    CountHandlingTime(std::chrono::steady_clock::now() - started);
}

void DrainObserver(TapConnections& c) {
    while (!OsDisplayLost() && (!c.taken.empty() || XPending(c.observer) > 0)) {
        if (c.taken.empty()) TakeQueuedEvents(c);
        if (c.taken.empty()) break;
        XEvent event = c.taken.front();
        c.taken.pop_front();
        HandleObserverEvent(c, event);
    }
}

// Events our grabs delivered: each waits, its device frozen, until we answer it.
void DrainGrabber(TapConnections& c) {
    while (!OsDisplayLost() && XPending(c.grabber) > 0) {
        XEvent event;
        XNextEvent(c.grabber, &event);
        XGenericEventCookie& cookie = event.xcookie;
        if (!IsXInputEvent(c, event) || !XGetEventData(c.grabber, &cookie)) continue;
        if (cookie.evtype == XI_HierarchyChanged) {
            RefreshGrabDevices(c.grabber, c.grabs);
            SyncGrabs(c);
        } else {
            AnswerGrabbedEvent(c.grabber, c.grabs, *static_cast<XIDeviceEvent*>(cookie.data));
        }
        XFreeEventData(c.grabber, &cookie);
    }
}

void FollowOwnMoves(TapConnections& c) {
    const bool wanted = TapWantsMovePositions();
    if (wanted == c.pointers.ownMovesInStream) return;
    c.pointers.ownMovesInStream = wanted;
    SelectRawEvents(c);
    // From here on each own move is either in the stream or already counted.
    XSync(c.observer, False);
    c.pointers.ownMovesSeen = g_OwnPointerMoves.load();
    ForgetPointerPositions(c.pointers);
}

void SeedPointerBase(TapConnections& c) {
    if (!TapWantsPointerBase()) return;
    double x = NAN, y = NAN;
    // A move the server made before answering but that is still waiting for us would be
    // taken for no move at all; the base is asked again once it has been handled.
    if (PointerPosition(c, c.firstMasterPointer, x, y)) TapSetPointerBase(x, y);
}

// Settings written elsewhere without a request are picked up within this period, even while a
// stream of motion keeps the tap busy.
constexpr auto kGrabRecheck = std::chrono::milliseconds(50);

void ServeConnections(TapConnections& c) {
    auto lastSync = std::chrono::steady_clock::now();
    while (g_TapRunning.load() && !OsDisplayLost()) {
        FollowOwnMoves(c);
        SeedPointerBase(c);
        const auto now = std::chrono::steady_clock::now();
        if (g_GrabsApplied.load() != g_GrabRequests.load() || now - lastSync >= kGrabRecheck) {
            SyncGrabs(c);
            lastSync = now;
        }
        pollfd fds[3] = {{ConnectionNumber(c.observer), POLLIN, 0},
                         {ConnectionNumber(c.grabber), POLLIN, 0},
                         {g_TapWakeFd, POLLIN, 0}};
        if (c.taken.empty() && XPending(c.observer) == 0 && XPending(c.grabber) == 0) {
            poll(fds, 3, static_cast<int>(kGrabRecheck.count()));
        }
        if (fds[2].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = read(g_TapWakeFd, &count, sizeof count);
        }
        if (fds[0].revents & (POLLHUP | POLLERR) || fds[1].revents & (POLLHUP | POLLERR)) {
            NoteDisplayLost();
            break;
        }
        DrainGrabber(c);
        DrainObserver(c);
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
    // A lost display ends the program; the tap just stops serving it.
    ServeConnections(c);
    CloseConnections(c);
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
