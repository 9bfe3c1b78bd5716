#include "state/window_state.h"

#include "platform/window_shell.h"

OsWindow* g_MasterWindow = nullptr;
std::function<void(const std::string&)> g_MasterEvalFn;
std::function<void(std::function<void()>)> g_MasterDispatchFn;
std::function<void()> g_MasterQuitFn;
std::atomic<bool> g_MainPageReady{false};
std::atomic<bool> updateInstallRunning{false};
std::mutex g_UpdateUiMutex;
std::atomic<bool> g_UpdateInstallCancel{false};
std::string g_UpdateManifestOverride;

void PlatformApplyAlwaysOnTop(bool on) {
    if (g_MasterWindow) OsSetAlwaysOnTop(g_MasterWindow, on);
}
