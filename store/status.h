#pragma once

// The tracker status object the page polls, and the status file that mirrors it.

#include <string>

// restore: JSON array text of the closed panel windows, inserted unchanged. The caller holds
// profileMutex and at least one profile exists with currentProfileIdx valid.
std::string BuildTrackerStatusJson(const std::string& restore);
std::string GetTrackerStatusFilePath();
// Replaces the status file whole; false (old file kept) when it cannot be written.
bool SaveTrackerStatusToFile(const std::string& text);
