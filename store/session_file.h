#pragma once

// The session file: the full settings line, the active profile index and every profile with
// its settings line and recording. Declarations of the saves and the loader are in profiles.h.

#include <string>
#include <string_view>

// Reads a session file at the given path into the live state; true when any profile was read.
bool LoadSessionStateFrom(const std::string& path);
// Saves the live state to the given path. waitForLock false: gives up when profileMutex is busy.
bool SaveSessionStateTo(const std::string& path, bool waitForLock);

// The same two on text in memory: the text a save would write, and a load from text as the file
// holds it, with the same result as a file of that text.
bool SessionStateToText(std::string& text, bool waitForLock);
bool LoadSessionStateFromText(std::string_view text);
