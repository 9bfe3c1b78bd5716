// A program with one window that says when its loop runs and why it ended; the display-loss test
// takes its X server away under it.
#include "platform/shell.h"
#include "platform/window.h"
#include "platform/window_shell.h"

#include <cstdio>

int main() {
    OsBlockTerminationSignals();
    OsWindow* window = OsWindowCreate(false);
    if (!window) return 2;
    OsInstallMainMenu(window, "Quillon");
    OsInstallLifecycleHooks(
        window, [] {}, [] {}, [] {});
    OsWindowDispatch(window, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    const MainLoopEnd end = OsWindowRun(window);
    // The program saves its state next: the window's place must not be asked of a lost server.
    int x = 0, y = 0, width = 0, height = 0;
    bool maximized = false;
    const bool placed = OsGetWindowPlacement(window, x, y, width, height, maximized);
    std::printf("%s%s\n", end == MainLoopEnd::kDisplayLost ? "display lost" : "terminated",
                placed ? ", still placed" : "");
    std::fflush(stdout);
    OsWindowDestroy(window);
    return 0;
}
