#pragma once

// Starting programs that outlive us, and where this program is installed.

#include <string>
#include <vector>

// The installed bundle folder (two levels above the executable) when it holds bundle.ini;
// empty otherwise.
std::string OsOwnBundlePath();

// Starts args[0] (a path) with args in a session of its own, with default signal handling and
// the current environment, without waiting for it. False when it could not be started.
bool OsSpawnDetached(const std::vector<std::string>& args);
