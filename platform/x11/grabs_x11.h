#pragma once

// The grabs that swallow input, held on a connection of their own.

#include "platform/tap.h"

#include <X11/Xlib.h>

struct GrabState {
    SwallowSet applied;            // what the grabs now cover
    bool keyboardGrabbed = false;  // the active keyboard grab of a reassignment
    bool pointerGrabbed = false;   // the active pointer grab of location picking
    Cursor crosshair = None;       // shown while picking
};

// Brings the grabs in line with what the dispatch logic would swallow now.
void ApplySwallowSet(Display* grabber, GrabState& state, const SwallowSet& want);
