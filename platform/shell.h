#pragma once

// Desktop-shell services: data directory, single instance, start-up at login, process life.

#include <string>

// First call of main, before any X call: several threads use Xlib on their own connections.
void OsInitThreads();
// An X display opens at $DISPLAY.
bool OsDisplayReachable();

// $XDG_DATA_HOME/Quillon or ~/.local/share/Quillon, created with mode 0700; same text each call.
std::string OsDataDir();
// True when this process holds (or already held) the instance lock.
bool OsAcquireSingleInstanceLock();
// Brings the window of the instance holding the lock to the front, when it has one.
void OsActivateOtherInstance();
// Punctual timers for the rest of the process (threads started afterwards inherit it).
void OsBeginLatencyCriticalActivity();
// Writes or removes the XDG autostart entry.
void OsApplyLaunchAtLogin(bool enabled);
void PlatformApplyLaunchOnStartup(bool enabled);

// SIGINT and SIGTERM are turned into a quit request, and a file-size limit makes a write fail
// instead of ending the process; call before any thread starts.
void OsBlockTerminationSignals();
// Readable once SIGINT or SIGTERM asked the program to quit (also when it came before anyone
// watched).
int OsTerminationRequestFd();
// Why the main loop ended.
enum class MainLoopEnd { kTerminated, kDisplayLost };

// True once any of the program's X connections found the server gone. From then on no
// platform call touches X; the program saves and ends.
bool OsDisplayLost();
// Readable once the display is lost.
int OsDisplayLostFd();
