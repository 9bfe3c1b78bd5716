#pragma once

// Synthetic mouse and key input. Every event we post comes from the X server's XTEST devices,
// which is how the input tap tells our own events from the user's.

#include <atomic>
#include <cstdint>

// Buttons this layer holds down: bit 0 left, bit 1 right, bit 2 middle (and any other button).
extern std::atomic<uint32_t> g_HeldButtons;

// Opens the synthesis connection once. False when there is no X display or no XTEST 2.2;
// every posting call then does nothing.
bool OsInputInit();
// Closes the synthesis connection (tests and clean exit).
void OsInputShutdown();

// button 0 left, 1 right, anything else middle. X has no click count; it is accepted for
// callers that keep one.
void OsMouseButton(int button, bool down, int clickCount);
// Whether this layer holds the button (numbered as above) down.
bool OsHoldsButton(int button);
// Root-window coordinates. A held button turns the move into a drag on the server's side.
void OsMoveMouseTo(int x, int y);
// A step from wherever the pointer is, in screen pixels, without pointer acceleration.
void OsMoveMouseBy(int dx, int dy);
// Wheel lines, positive away from the user; one wheel click per line.
void OsScrollLines(int lines);
// A press and release of the back side button.
void OsSideButtonClick();
// Posts nothing for a VK without a key code.
void OsKeyVk(int vk, bool down);
// The screen's size in pixels; 0 by 0 when there is no synthesis connection.
void OsScreenSize(int& width, int& height);
// Returns once the X server has taken every event posted so far, so that a wait measured from
// now is a wait between events on the server's side too.
void OsInputSync();

// Releases the button if this layer holds it.
void PlatformMouseButtonUp(int button);
// The desktop's double-click interval in seconds.
double PlatformDoubleClickSeconds();
// Set once on the main thread at start-up from the desktop's setting.
void OsSetDoubleClickSeconds(double seconds);
