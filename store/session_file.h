#pragma once

// The session file: the full settings line, the active profile index and every profile with
// its settings line and recording. Declarations of the saves and the loader are in profiles.h.

#include <string>

// Reads a session file at the given path into the live state; true when any profile was read.
bool LoadSessionStateFrom(const std::string& path);
// Saves the live state to the given path. waitForLock false: gives up when profileMutex is busy.
bool SaveSessionStateTo(const std::string& path, bool waitForLock);
