#include "platform/x11/grabs_x11.h"

#include "platform/keys.h"

#include <algorithm>
#include <cstring>

namespace {

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

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::vector<int> KeyCodesOf(const std::vector<int>& vks) {
    std::vector<int> keyCodes;
    for (int vk : vks) {
        for (int keyCode : OsKeyCodesOfVk(vk)) {
            if (!Contains(keyCodes, keyCode)) keyCodes.push_back(keyCode);
        }
    }
    return keyCodes;
}

std::vector<int> ButtonsOf(const std::vector<int>& vks) {
    std::vector<int> buttons;
    for (int vk : vks) {
        const int button = static_cast<int>(XButtonOfVk(vk));
        if (button != 0 && !Contains(buttons, button)) buttons.push_back(button);
    }
    return buttons;
}

struct GrabMask {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask{};
    GrabMask(int press, int release) {
        XISetMask(bits, press);
        XISetMask(bits, release);
        mask = XIEventMask{XIAllMasterDevices, sizeof bits, bits};
    }
};

XIGrabModifiers AnyModifiers() { return XIGrabModifiers{static_cast<int>(XIAnyModifier), 0}; }

// Synchronous for the grabbed device, so each of its events waits for our answer; the paired
// device goes on untouched.
bool SetKeyGrab(Display* grabber, int device, int keyCode, bool grab) {
    const Window root = DefaultRootWindow(grabber);
    XIGrabModifiers modifiers = AnyModifiers();
    if (!grab) {
        XIUngrabKeycode(grabber, device, keyCode, root, 1, &modifiers);
        return true;
    }
    GrabMask m(XI_KeyPress, XI_KeyRelease);
    // The answer counts the modifier sets refused, e.g. because another client holds the key.
    return XIGrabKeycode(grabber, device, keyCode, root, XIGrabModeSync, XIGrabModeAsync, False,
                         &m.mask, 1, &modifiers) == 0;
}

bool SetButtonGrab(Display* grabber, int device, int button, bool grab) {
    const Window root = DefaultRootWindow(grabber);
    XIGrabModifiers modifiers = AnyModifiers();
    if (!grab) {
        XIUngrabButton(grabber, device, button, root, 1, &modifiers);
        return true;
    }
    GrabMask m(XI_ButtonPress, XI_ButtonRelease);
    return XIGrabButton(grabber, device, button, root, None, XIGrabModeSync, XIGrabModeAsync, False,
                        &m.mask, 1, &modifiers) == 0;
}

using SetGrab = bool (*)(Display*, int device, int code, bool grab);

// Grabs on every device what is wanted and not held, lets go of what is held and not wanted;
// returns what is held afterwards. A grab another client holds is left out, so the next sync
// tries it again.
std::vector<int> BringInLine(Display* grabber, const std::vector<int>& devices,
                             const std::vector<int>& held, const std::vector<int>& wanted,
                             SetGrab set) {
    std::vector<int> nowHeld;
    for (int code : held) {
        if (Contains(wanted, code)) {
            nowHeld.push_back(code);
            continue;
        }
        for (int device : devices) set(grabber, device, code, false);
    }
    for (int code : wanted) {
        if (Contains(held, code)) continue;
        bool taken = true;
        for (int device : devices) taken = set(grabber, device, code, true) && taken;
        if (taken) nowHeld.push_back(code);
    }
    return nowHeld;
}

void ApplyPassiveGrabs(Display* grabber, GrabState& g, const SwallowSet& want) {
    const std::vector<int> keyCodes = KeyCodesOf(want.keys);
    const std::vector<int> buttons = ButtonsOf(want.buttons);
    g.keyCodes = BringInLine(grabber, g.keyboards, g.keyCodes, keyCodes, SetKeyGrab);
    g.buttons = BringInLine(grabber, g.pointers, g.buttons, buttons, SetButtonGrab);
    g.missing = g.keyCodes.size() != keyCodes.size() || g.buttons.size() != buttons.size();
}

void ApplyActiveGrabs(Display* grabber, GrabState& g, const SwallowSet& want) {
    const Window root = DefaultRootWindow(grabber);
    if (want.wholeKeyboard && !g.keyboardGrabbed) {
        g.keyboardGrabbed = XGrabKeyboard(grabber, root, False, GrabModeAsync, GrabModeAsync,
                                          CurrentTime) == GrabSuccess;
    } else if (!want.wholeKeyboard && g.applied.wholeKeyboard) {
        // The captured key's release belongs to the focused window again.
        XUngrabKeyboard(grabber, CurrentTime);
        g.keyboardGrabbed = false;
    }
    const bool captureEnded = g.applied.wholeKeyboard && !want.wholeKeyboard;
    if (want.pickingPointer && !g.pointerGrabbed) {
        g.pointerGrabbed =
            XGrabPointer(grabber, root, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                         GrabModeAsync, None, g.crosshair, CurrentTime) == GrabSuccess;
    } else if ((!want.pickingPointer && g.applied.pickingPointer) || captureEnded) {
        // Let the picked or captured button's release reach the window below.
        XUngrabPointer(grabber, CurrentTime);
        g.pointerGrabbed = false;
    }
}

void ReadDevices(Display* grabber, GrabState& g) {
    g.keyboards.clear();
    g.pointers.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(grabber, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& d = devices[i];
        if (d.use == XIMasterKeyboard) g.keyboards.push_back(d.deviceid);
        if (d.use == XIMasterPointer) g.pointers.push_back(d.deviceid);
        if (std::strcmp(d.name, "Virtual core XTEST pointer") == 0) g.xtestPointerId = d.deviceid;
        if (std::strcmp(d.name, "Virtual core XTEST keyboard") == 0) g.xtestKeyboardId = d.deviceid;
    }
    XIFreeDeviceInfo(devices);
}

}  // namespace

void WatchGrabDevices(Display* grabber, GrabState& g) {
    ReadDevices(grabber, g);
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_HierarchyChanged);
    XIEventMask mask{XIAllDevices, sizeof bits, bits};
    XISelectEvents(grabber, DefaultRootWindow(grabber), &mask, 1);
}

void RefreshGrabDevices(Display* grabber, GrabState& g) {
    // Grabs on a device that has gone fail quietly; the error handler ignores them. The next
    // sync grabs everything again on the devices there are now.
    g.keyCodes = BringInLine(grabber, g.keyboards, g.keyCodes, {}, SetKeyGrab);
    g.buttons = BringInLine(grabber, g.pointers, g.buttons, {}, SetButtonGrab);
    ReadDevices(grabber, g);
    g.missing = true;
}

void ApplySwallowSet(Display* grabber, GrabState& g, const SwallowSet& want) {
    const bool activeMissing =
        (want.wholeKeyboard && !g.keyboardGrabbed) || (want.pickingPointer && !g.pointerGrabbed);
    if (want == g.applied && !activeMissing && !g.missing) return;
    ApplyPassiveGrabs(grabber, g, want);
    ApplyActiveGrabs(grabber, g, want);
    g.applied = want;
    XSync(grabber, False);
}

void AnswerGrabbedEvent(Display* grabber, GrabState& g, const XIDeviceEvent& event) {
    if (event.deviceid < 0 || event.deviceid >= kMaxDevices) return;
    int& holder = g.grabHolder[static_cast<size_t>(event.deviceid)];
    const bool ours = event.sourceid == g.xtestPointerId || event.sourceid == g.xtestKeyboardId;
    const bool press = event.evtype == XI_KeyPress || event.evtype == XI_ButtonPress;
    const bool keyEvent = event.evtype == XI_KeyPress || event.evtype == XI_KeyRelease;
    const bool grabbed =
        keyEvent ? Contains(g.keyCodes, event.detail) : Contains(g.buttons, event.detail);
    // The key or button whose press started the grab is swallowed to its release, even when
    // it stopped being a hotkey meanwhile (the lock key locking them); so is another hotkey
    // pressed during the hold. Anything else is handed on, which also ends the grab.
    bool swallow = false;
    if (!ours && holder == 0) {
        swallow = press;
        if (swallow) holder = event.detail;
    } else if (!ours) {
        swallow = event.detail == holder || grabbed;
    }
    if (!swallow || (event.detail == holder && !press)) holder = 0;
    // The event's own time keeps a late answer from acting on a newer grab.
    XIAllowEvents(grabber, event.deviceid, swallow ? XISyncDevice : XIReplayDevice, event.time);
    XFlush(grabber);
}
