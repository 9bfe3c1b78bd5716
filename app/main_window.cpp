#include "app/main_window.h"

#include "bridge/bindings.h"
#include "bridge/pages.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "state/window_state.h"
#include "store/app_settings.h"

namespace {

constexpr const char* kWindowTitle = "Quillon (Free Version 1.0.1)";
constexpr const char* kAppName = "Quillon Free";
constexpr int kStartWidth = 420;
constexpr int kStartHeight = 560;

void InstallEvalFn(OsWindow* window) {
    g_MasterEvalFn = [window](const std::string& script) {
        OsWindowDispatch(window, [window, script] { OsWindowEval(window, script); });
    };
    g_MasterDispatchFn = [window](std::function<void()> task) {
        OsWindowDispatch(window, std::move(task));
    };
    g_MasterQuitFn = [window] { OsWindowTerminate(window); };
}

}  // namespace

OsWindow* OpenMainWindow() {
    OsWindow* window = OsWindowCreate(false);
    if (!window) return nullptr;
    g_MasterWindow = window;
    InstallEvalFn(window);
    OsReadDoubleClickSetting();
    OsWindowSetTitle(window, kWindowTitle);
    OsInstallMainMenu(window, kAppName);
    OsWindowSetSize(window, kStartWidth, kStartHeight, OsWindowSizeHint::kNone);
    OsWindowAddInitScript(window, kStartupScript);
    RegisterBindings(window);
    return window;
}

void SavePlacementOf(OsWindow* window) {
    int x = 0, y = 0, width = 0, height = 0;
    bool maximized = false;
    if (!window || !OsGetWindowPlacement(window, x, y, width, height, maximized)) return;
    if (width <= 0 || height <= 0) return;
    g_SavedWindowX.exchange(x);
    g_SavedWindowY.exchange(y);
    g_SavedWindowWidth.exchange(width);
    g_SavedWindowHeight.exchange(height);
    g_SavedMaximized.exchange(maximized);
    g_HasSavedWindowPos.exchange(true);
    SaveAppSettings();
}

void SaveGeometry() { SavePlacementOf(g_MasterWindow); }

void PlaceMainWindow(OsWindow* window) {
    if (g_HasSavedWindowPos.load()) {
        OsRestoreWindowPlacement(window, g_SavedWindowX.load(), g_SavedWindowY.load(),
                                 g_SavedWindowWidth.load(), g_SavedWindowHeight.load(),
                                 g_SavedMaximized.load() && !g_StartMinimized.load());
    }
    SavePlacementOf(window);
    if (g_AlwaysOnTop.load()) OsSetAlwaysOnTop(window, true);
    if (g_StartMinimized.load()) {
        OsMiniaturize(window);
    } else {
        OsBringToFront(window);
    }
}
