#pragma once

// What the X server itself says, asked on a connection of the harness.

#include <X11/Xlib.h>

#include <utility>
#include <vector>

// Button numbers (1..5) the core pointer holds.
std::vector<int> ServerHeldButtons();
// X keycodes the core keyboard holds.
std::vector<int> ServerHeldKeys();
// Pointer position on the root window; {-1, -1} without a display.
std::pair<int, int> ServerPointer();
// True when another client holds a passive grab of the key on the root window.
bool KeyGrabbedByAnotherClient(int keyCode);
// Grabs (or lets go of) the key on the root window as the tap does, an XInput 2 grab on the core
// keyboard (device 3); the request's status.
int GrabKeyOnRoot(Display* display, int keyCode, bool grab);
