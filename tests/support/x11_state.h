#pragma once

// What the X server itself says is held down, asked on a connection of the harness.

#include <string>
#include <vector>

// Button numbers (1..5) the core pointer holds.
std::vector<int> ServerHeldButtons();
// X keycodes the core keyboard holds.
std::vector<int> ServerHeldKeys();
// Pointer position on the root window.
bool ServerPointerPosition(int& x, int& y);
// Moves the pointer through a harness XTEST connection (not the product's).
void HarnessWarpPointer(int x, int y);
// True when another client holds a passive grab of the key on the root window.
bool KeyGrabbedByAnotherClient(int keyCode);
