#pragma once

// Key identity: VK numbers (Windows-style, 0 to 255) everywhere above this layer; X keycodes of a
// PC keyboard below it. Names follow the active keyboard layout.

#include <string>
#include <vector>

constexpr int kKeyCodeCount = 256;  // X keycodes are 8 to 255

// -1 for a VK above 255 or without a key.
int VkToOsKeyCode(int vk);
// 0 for a key code outside 0..255 or without a VK.
int OsKeyCodeToVk(int keyCode);
// Every key code that reads back as this VK (keypad Enter and Enter are both VK 13; no key
// reads back as the generic Shift, Ctrl or Alt). Grabs use it, so they match what is read.
std::vector<int> OsKeyCodesOfVk(int vk);

// Display name of a VK. Safe on any thread.
std::string OsKeyName(int vk);
std::string GetKeyName(int vk);

// The unshifted character the active layout prints on a key, upper-cased; empty when there is
// none or it would not be a clean name (blanks, controls, quote, backslash). The layout thread
// reads it live, every other thread reads the cache.
std::string LayoutCharForKey(int keyCode);
std::string LayoutCharForKeyLive(int keyCode);
// Recomputes every key's character on the layout thread and swaps the cache in at once.
void RefreshLayoutCache();
// True when a layout character is acceptable as a key name.
bool IsCleanLayoutChar(const std::string& text);

// Starts following the keyboard layout from the calling thread, which becomes the layout
// thread. False without an X display with XKB; names then use their fallbacks.
bool OsKeysWatchLayout();
// Descriptor that becomes readable when layout notifications wait; -1 when not watching.
int OsLayoutWatchFd();
// Handles waiting layout notifications; call on the layout thread when the descriptor is ready.
void OsLayoutWatchDispatch();
void OsKeysStopWatchingLayout();
