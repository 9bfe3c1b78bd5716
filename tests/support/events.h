#pragma once

// Recorded events written the short way, for recordings a test makes up.

#include "state/types.h"

inline UnifiedEvent Move(double t, int64_t x, int64_t y, bool relative = false) {
    UnifiedEvent e;
    e.type = relative ? kEventRelativeMove : kEventAbsoluteMove;
    e.time = t;
    e.x = x;
    e.y = y;
    return e;
}
inline UnifiedEvent Button(double t, uint64_t flags, int64_t x = 0, int64_t y = 0) {
    UnifiedEvent e = Move(t, x, y);
    e.type = kEventButton;
    e.mouseFlags = flags;
    return e;
}
inline UnifiedEvent Key(double t, int vk, bool down) {
    UnifiedEvent e;
    e.type = kEventKey;
    e.time = t;
    e.key = vk;
    e.down = down;
    return e;
}
inline UnifiedEvent Wheel(double t, int delta) {
    UnifiedEvent e;
    e.type = kEventWheel;
    e.time = t;
    e.wheel = delta;
    return e;
}
inline UnifiedEvent Tool(double t, int tool, bool on) {
    UnifiedEvent e = Key(t, tool, on);
    e.type = kEventToolSwitch;
    return e;
}
