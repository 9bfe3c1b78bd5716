#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Types of a recorded event; the numbers are those of the session file.
enum EventType : int32_t {
    kEventAbsoluteMove = 0,
    kEventRelativeMove = 1,
    kEventButton = 2,
    kEventKey = 3,
    kEventWheel = 4,
    kEventToolSwitch = 5,
};

// Mouse flags of a button event; side buttons record their presses only.
enum MouseFlag : uint64_t {
    kMouseLeftDown = 2,
    kMouseLeftUp = 4,
    kMouseRightDown = 8,
    kMouseRightUp = 16,
    kMouseMiddleDown = 32,
    kMouseMiddleUp = 64,
    kMouseSideDown = 128,
};

// Tool codes of a tool-switch event.
enum ToolCode : int32_t {
    kToolAutoClicker = 1,
    kToolKeySpammer = 2,
};

// One recorded input event. Fields a type does not use stay 0.
struct UnifiedEvent {
    int32_t type = kEventAbsoluteMove;
    double time = 0.0;  // seconds since the recording (later: the sequence) began
    int64_t x = 0;
    int64_t y = 0;
    uint64_t mouseFlags = 0;  // type 2: 2/4 left, 8/16 right, 32/64 middle down/up, 128 side down
    int32_t key = 0;          // type 3: VK; type 5: tool code (1 auto clicker, 2 key spammer)
    bool down = false;
    int32_t wheel = 0;  // type 4: line delta x 120
};

// Field-by-field equality; times compare as numbers, so a NaN time never equals anything.
bool SameEvent(const UnifiedEvent& a, const UnifiedEvent& b);
bool SameEventList(const std::vector<UnifiedEvent>& a, const std::vector<UnifiedEvent>& b);

// A named set of tool settings together with one recording.
struct MacroProfile {
    std::string name;
    std::string settings;  // profile settings line; empty means the defaults
    std::vector<UnifiedEvent> events;
};
