#pragma once

// Application preferences (window behaviour, hotkey switches, page preferences, last window
// placement) and the file appsettings.txt that keeps them.

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

extern std::atomic<bool> g_AlwaysOnTop;
extern std::atomic<bool> g_LaunchOnStartup;
extern std::atomic<bool> g_StartMinimized;
extern std::atomic<bool> g_DisableAnimations;
extern std::atomic<bool> g_ShowWarnings;
extern std::set<std::string> g_SeenWarningIds;   // UI thread only
extern std::set<std::string> g_MinimizedPanels;  // UI thread only; known panel ids
extern std::vector<std::string> g_PanelOrder;    // UI thread only; known panel ids, no repeats
extern std::atomic<int32_t> g_SavedWindowX;
extern std::atomic<int32_t> g_SavedWindowY;
extern std::atomic<int32_t> g_SavedWindowWidth;
extern std::atomic<int32_t> g_SavedWindowHeight;
extern std::atomic<bool> g_SavedMaximized;
extern std::atomic<bool> g_HasSavedWindowPos;

std::string GetAppSettingsFilePath();
// Reads the file into the globals; false when it cannot be read (the globals stay).
bool LoadAppSettings();
// Replaces the file whole; false when it cannot be written (the old file stays).
bool SaveAppSettings();
// The same two on text in memory: what the file would hold, and a load of such text.
std::string AppSettingsText();
void LoadAppSettingsFromText(std::string_view text);
// Puts every application setting back to its start value.
void ResetAppSettingsForTest();

bool IsKnownPanelId(const std::string& id);
// Known ids only, each at most once; empty pieces are skipped. Leaves out untouched on failure.
bool ParsePanelOrder(const std::string& text, std::vector<std::string>& out);
// A warning id that the settings JSON can carry verbatim and the file can keep.
bool IsStorableWarningId(const std::string& id);

// Native side of the application settings bindings; arguments are the request texts.
std::string BindGetAppSettings();
void BindSetAppSetting(const std::string& request);
void BindMarkWarningSeen(const std::string& request);
void BindSetPanelOrder(const std::string& request);
// What those three do to the globals, without the save that follows; true when the binding
// saves the file.
bool ApplySetAppSetting(const std::string& request);
bool ApplyMarkWarningSeen(const std::string& request);
bool ApplySetPanelOrder(const std::string& request);
void BindResetHotkeys();
void BindReassignKey(const std::string& request);
