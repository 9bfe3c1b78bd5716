#pragma once

// Recorded events written the short way, for recordings a test makes up.

#include "state/types.h"

inline UnifiedEvent Key(double t, int vk, bool down) {
    UnifiedEvent e;
    e.type = kEventKey;
    e.time = t;
    e.key = vk;
    e.down = down;
    return e;
}
