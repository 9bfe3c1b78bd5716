#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One recorded input event. Fields a type does not use stay 0.
struct UnifiedEvent {
    int32_t type =
        0;  // 0 absolute move, 1 relative move, 2 button, 3 key, 4 wheel, 5 tool switched
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
