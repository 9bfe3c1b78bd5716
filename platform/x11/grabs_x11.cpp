#include "platform/x11/grabs_x11.h"

#include "platform/keys.h"

#include <algorithm>

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

void SetKeyGrab(Display* grabber, int vk, bool grab) {
    const int keyCode = VkToOsKeyCode(vk);
    if (keyCode < 0) return;
    const Window root = DefaultRootWindow(grabber);
    if (grab) {
        XGrabKey(grabber, keyCode, AnyModifier, root, False, GrabModeAsync, GrabModeAsync);
    } else {
        XUngrabKey(grabber, keyCode, AnyModifier, root);
    }
}

void SetButtonGrab(Display* grabber, int vk, bool grab) {
    const unsigned button = XButtonOfVk(vk);
    if (button == 0) return;
    const Window root = DefaultRootWindow(grabber);
    if (grab) {
        XGrabButton(grabber, button, AnyModifier, root, False, ButtonPressMask | ButtonReleaseMask,
                    GrabModeAsync, GrabModeAsync, None, None);
    } else {
        XUngrabButton(grabber, button, AnyModifier, root);
    }
}

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Grabs what is wanted and not held, lets go of what is held and not wanted.
void ApplyPassiveGrabs(Display* grabber, GrabState& g, const SwallowSet& want) {
    for (int vk : g.applied.keys) {
        if (!Contains(want.keys, vk)) SetKeyGrab(grabber, vk, false);
    }
    for (int vk : want.keys) {
        if (!Contains(g.applied.keys, vk)) SetKeyGrab(grabber, vk, true);
    }
    for (int vk : g.applied.buttons) {
        if (!Contains(want.buttons, vk)) SetButtonGrab(grabber, vk, false);
    }
    for (int vk : want.buttons) {
        if (!Contains(g.applied.buttons, vk)) SetButtonGrab(grabber, vk, true);
    }
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

}  // namespace

void ApplySwallowSet(Display* grabber, GrabState& g, const SwallowSet& want) {
    const bool activeMissing =
        (want.wholeKeyboard && !g.keyboardGrabbed) || (want.pickingPointer && !g.pointerGrabbed);
    if (want == g.applied && !activeMissing) return;
    ApplyPassiveGrabs(grabber, g, want);
    ApplyActiveGrabs(grabber, g, want);
    g.applied = want;
    XSync(grabber, False);
}
