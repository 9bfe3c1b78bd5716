#pragma once

// Profiles: named tool settings with one recording each, and the session file that keeps them.

#include <string>

extern const char* const kDefaultProfileName;
constexpr int kProfileCap = 3;
// data directory + "/session.dat"; set once at start-up before the file is read.
extern std::string g_SessionStateFilePath;
std::string GetSessionStateFilePath();

// Stores the live profile settings line into the active profile.
void SnapshotActiveProfileSettings();
// Makes sure a profile named "Default Tracking Profile" exists.
void EnsureDefaultProfileExists();
// Periodic save: tries the profile lock once and skips this save when it is busy.
bool SaveSessionState();
// Save at exit: waits for the profile lock, so the last moments of a recording are kept.
bool SaveSessionStateAtExit();
// True when any profile was read.
bool LoadSessionState();
// Body of the autosave thread: saves every 5 seconds while the application runs.
void SessionAutosaveThread();

// Native side of the profile bindings; text arguments are the request texts of the page.
void BindClearProfile();
void BindAddProfile(const std::string& request);
void BindDeleteProfile();
void BindSwitchProfile(const std::string& request);
std::string BindGetProfiles();
