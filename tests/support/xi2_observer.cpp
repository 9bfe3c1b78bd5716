#include "tests/support/xi2_observer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <poll.h>
#include <time.h>
#include <algorithm>
#include <string>

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {

void ReadFirstAxes(const XIRawEvent& raw, ObservedEvent& seen) {
    const double* value = raw.raw_values;
    for (int axis = 0; axis < 2 && axis < raw.valuators.mask_len * 8; ++axis) {
        if (!XIMaskIsSet(raw.valuators.mask, axis)) continue;
        (axis == 0 ? seen.x : seen.y) = *value++;
    }
}

void ObserveLoop(Display* display, int xiOpcode, Xi2Observer* observer) {
    while (observer->running.load()) {
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        if (XPending(display) == 0) poll(&fd, 1, 5);
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            XGenericEventCookie* cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != xiOpcode ||
                !XGetEventData(display, cookie)) {
                continue;
            }
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            ObservedEvent seen{cookie->evtype, raw->detail, raw->sourceid, MonotonicNs(),
                               raw->time};
            if (cookie->evtype == XI_RawMotion) ReadFirstAxes(*raw, seen);
            XFreeEventData(display, cookie);
            std::lock_guard<std::mutex> lock(observer->mutex);
            observer->events.push_back(seen);
        }
    }
    XCloseDisplay(display);
}

}  // namespace

bool StartObserver(Xi2Observer& observer) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int xiOpcode = 0, eventBase = 0, errorBase = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &eventBase, &errorBase) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        XCloseDisplay(display);
        return false;
    }
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const std::string name = devices[i].name;
        if (name == "Virtual core XTEST pointer") observer.xtestPointerId = devices[i].deviceid;
        if (name == "Virtual core XTEST keyboard") observer.xtestKeyboardId = devices[i].deviceid;
    }
    XIFreeDeviceInfo(devices);
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    for (int type : {XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease})
        XISetMask(bits, type);
    if (observer.withMotion) XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    observer.running.store(true);
    observer.thread = std::thread(ObserveLoop, display, xiOpcode, &observer);
    return true;
}

void StopObserver(Xi2Observer& observer) {
    if (observer.running.exchange(false) && observer.thread.joinable()) observer.thread.join();
}

std::vector<ObservedEvent> ObservedSnapshot(Xi2Observer& observer) {
    std::lock_guard<std::mutex> lock(observer.mutex);
    return observer.events;
}

long ObservedCount(Xi2Observer& observer, int type, int sourceId, int detail) {
    const auto events = ObservedSnapshot(observer);
    return std::count_if(events.begin(), events.end(), [&](const ObservedEvent& e) {
        return e.type == type && (!sourceId || e.sourceId == sourceId) &&
               (!detail || e.detail == detail);
    });
}

void ClearObserved(Xi2Observer& observer) {
    std::lock_guard<std::mutex> lock(observer.mutex);
    observer.events.clear();
}
