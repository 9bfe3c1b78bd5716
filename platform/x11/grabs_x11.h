#pragma once

// The grabs that swallow input, held on a connection of their own.
//
// Hotkeys are passive XInput 2 grabs on every master device, in synchronous mode: while a
// hotkey is held, each further event of its device comes to us first and is either swallowed
// (the hotkeys' own presses, repeats and releases from a physical device) or replayed to the
// application, which also ends the grab. So a held hotkey never keeps other input from the
// focused window, and our own XTEST events, even of a hotkey's key, always get through.

#include "platform/tap.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <array>
#include <vector>

constexpr int kMaxDevices = 256;  // XInput device ids are 0..255

struct GrabState {
    SwallowSet applied;          // what the grabs now cover
    std::vector<int> keyboards;  // master keyboards the key grabs sit on
    std::vector<int> pointers;   // master pointers the button grabs sit on
    std::vector<int> keyCodes;   // grabbed key codes
    std::vector<int> buttons;    // grabbed X buttons
    bool missing = false;        // a wanted grab was refused; each sync tries it again
    int xtestPointerId = -1;     // our own devices: never swallowed
    int xtestKeyboardId = -1;
    // Per master device: the key code or button whose press started the passive grab that
    // is active now, 0 when none is.
    std::array<int, kMaxDevices> grabHolder{};
    bool keyboardGrabbed = false;  // the active keyboard grab of a reassignment
    bool pointerGrabbed = false;   // the active pointer grab of location picking
    Cursor crosshair = None;       // shown while picking
};

// Learns the master devices and our XTEST devices, and asks for hierarchy changes.
void WatchGrabDevices(Display* grabber, GrabState& state);
// After a hierarchy change: lets go of every passive grab and learns the master devices that
// exist now; the next ApplySwallowSet grabs on them.
void RefreshGrabDevices(Display* grabber, GrabState& state);
// Brings the grabs in line with what the dispatch logic would swallow now.
void ApplySwallowSet(Display* grabber, GrabState& state, const SwallowSet& want);
// Answers an event that one of our passive grabs delivered: swallow it or hand it on.
void AnswerGrabbedEvent(Display* grabber, GrabState& state, const XIDeviceEvent& event);
