#pragma once

// What the X server itself says, asked on a connection of the harness.

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
