#include "platform/shell.h"

#include <X11/Xlib.h>

void OsInitThreads() { XInitThreads(); }

bool OsDisplayReachable() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}
