// A program with one window that says when its loop runs and why it ended; the display-loss test
// takes its X server away under it.
#include "platform/shell.h"
#include "platform/window.h"

#include <cstdio>

int main() {
    OsBlockTerminationSignals();
    OsWindow* window = OsWindowCreate(false);
    if (!window) return 2;
    OsWindowDispatch(window, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    const MainLoopEnd end = OsWindowRun(window);
    std::puts(end == MainLoopEnd::kDisplayLost ? "display lost" : "terminated");
    std::fflush(stdout);
    OsWindowDestroy(window);
    return 0;
}
