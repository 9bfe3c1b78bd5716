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
// Moves the pointer through a harness XTEST connection (not the product's).
void HarnessWarpPointer(int x, int y);
// True when another client holds a passive grab of the key on the root window.
bool KeyGrabbedByAnotherClient(int keyCode);
