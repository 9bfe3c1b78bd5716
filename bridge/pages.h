#pragma once

// Which page the main window shows and how its text is prepared: the boot page that explains
// the input permissions (or that the web engine is too old), and the main page.

#include <string>

struct OsWindow;

// The script run at the start of every page the main window loads.
extern const char* const kStartupScript;

// The boot page with its mode word: "update", "permissions" or "reset".
void LoadBootPage(OsWindow* window, const std::string& mode);
void LoadMainUi(OsWindow* window);
// Chooses and loads the first page.
void LoadFirstPage(OsWindow* window);

// Input can be watched and posted: the permissions hold and the input tap runs (started here
// when it does not yet). Records the permission on the way.
bool InputReady();
// The permission record holds this bundle's line.
bool AccessibilityWasGrantedBefore();

// ---- the decisions and rewrites behind them, on plain values ----
// A WebKitGTK that is known and older than 2.40 cannot run the page.
bool WebEngineTooOld(int major, int minor);
// "update", "reset", "permissions", or empty for the main page.
std::string FirstPageMode(bool engineTooOld, bool inputReady, bool grantedBefore);
// The boot page text with its first marker replaced by the mode and every "System Settings"
// replaced by settingsName; empty when the marker is missing.
std::string PrepareBootPage(const std::string& page, const std::string& mode,
                            const std::string& settingsName);
// The main page with its sortable-list script tag replaced by the script itself, when that is
// safe and keeps the page within 2 MiB; otherwise the page unchanged.
std::string InlineSortableScript(const std::string& page, const std::string& script);
