#pragma once

// Pieces of the shell services that the X11 code and the tests reach directly.

#include <string>

// The path of the running program, from /proc/self/exe; empty when it cannot be read.
std::string RunningExecutable();
// $variable when it holds an absolute path, else the home folder + "/" + fallbackBelowHome.
std::string XdgDir(const char* variable, const char* fallbackBelowHome);
// The folder a path is in: "/" for a path at the root or without a folder.
std::string ParentOf(const std::string& path);
// data directory + "/instance.lock".
std::string OsInstanceLockPath();
// Process id of the process holding the instance lock; 0 when none (or it cannot be told).
int OsInstanceLockHolderPid();

// ~/.config/autostart/<bundleId>.desktop, honouring XDG_CONFIG_HOME.
std::string OsAutostartEntryPath(const std::string& bundleId);
// The desktop entry that starts the given executable at login.
std::string OsAutostartEntryText(const std::string& exePath);
// Enabled: writes the entry when its text differs from what is there. Disabled: removes it.
// True when the file on disk matches the wish afterwards.
bool OsWriteAutostartEntry(const std::string& entryPath, const std::string& exePath, bool enabled);
// "identifier=" of the bundle.ini two folders above the executable; empty outside a bundle.
std::string OsBundleIdentifierFromExe(const std::string& exePath);
