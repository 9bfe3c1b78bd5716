#pragma once

// The main window as the rest of the program sees it, and the flags the page and the updater
// share with it.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

struct OsWindow;

// The main window; null before it exists and again once its event loop has returned. UI thread.
extern OsWindow* g_MasterWindow;
// Hands a script to the UI thread for evaluation in the main page and returns at once. Set once
// when the main window is created; callers on other threads check it under g_UpdateUiMutex.
extern std::function<void(const std::string&)> g_MasterEvalFn;
// Runs a task on the UI thread, and ends the UI loop (the application then shuts down as on
// quitting); both set with g_MasterEvalFn.
extern std::function<void(std::function<void()>)> g_MasterDispatchFn;
extern std::function<void()> g_MasterQuitFn;
// Cleared when the main page loads, set by its getAppSettings call: the page can take news.
extern std::atomic<bool> g_MainPageReady;
// True while an update install runs.
extern std::atomic<bool> updateInstallRunning;
// Held around every updater call into the page and around setting g_UpdateInstallCancel.
extern std::mutex g_UpdateUiMutex;
// Set when the application ends; an updater that sees it stays quiet.
extern std::atomic<bool> g_UpdateInstallCancel;
// Manifest source given on the command line; empty for this build's own. Set before start-up.
extern std::string g_UpdateManifestOverride;

// Keeps the main window above others when on; nothing while there is no window. UI thread.
void PlatformApplyAlwaysOnTop(bool on);
