#pragma once

// Every test that touches the shared tool state starts from the start values with the one
// default profile active, as the program does after a first launch.

#include "state/tool_state.h"
#include "store/profiles.h"

#include <mutex>

inline void ResetToOneDefaultProfile() {
    ResetToolStateForTest();
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles.push_back(MacroProfile{kDefaultProfileName, "", {}});
}
