#pragma once

// Hotkey dispatch: decides for every real input event whether it picks a location, is captured
// for a reassignment, is a hotkey, or is recorded, and whether it is swallowed. Runs on the tap
// thread only.

#include <cstdint>

// True to swallow.
bool OnKey(int vk, bool down);
bool OnMouseButton(int vk, bool down, double x, double y);
bool HandleHotkeyDown(int vk);
void OnHotkeyReleased(int vk);
bool HoldModeAuto();
bool HoldModeKeySpam();
// Forgets every key and button the tap believes down (tests and a fresh tap).
void ClearTapTrackers();
