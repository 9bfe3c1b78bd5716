// What X11 offers in place of input permissions: the extensions the program drives and reads
// input through. Each question opens a connection of its own, so the answer is the server's now.
#include "platform/shell.h"
#include "platform/window_shell.h"
#include "platform/x11/connection_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <sstream>

namespace {

struct Connection {
    Display* display = OsDisplayLost() ? nullptr : XOpenDisplay(nullptr);
    Connection() {
        if (display) WatchConnection(display);
    }
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
};

bool AtLeast2_2(int major, int minor) { return major > 2 || (major == 2 && minor >= 2); }

}  // namespace

bool OsAccessibilityTrusted() {
    Connection c;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return c.display && XTestQueryExtension(c.display, &eventBase, &errorBase, &major, &minor) &&
           AtLeast2_2(major, minor);
}

void OsPromptAccessibility() {}

bool OsListenEventAllowed() {
    Connection c;
    int opcode = 0, eventBase = 0, errorBase = 0;
    if (!c.display ||
        !XQueryExtension(c.display, "XInputExtension", &opcode, &eventBase, &errorBase)) {
        return false;
    }
    int major = 2, minor = 2;
    return XIQueryVersion(c.display, &major, &minor) == Success && AtLeast2_2(major, minor);
}

bool OsRequestListenEvent() { return OsListenEventAllowed(); }

std::string OsSettingsAppName() {
    const char* desktops = getenv("XDG_CURRENT_DESKTOP");
    std::istringstream list(desktops ? desktops : "");
    for (std::string desktop; std::getline(list, desktop, ':');) {
        if (desktop == "GNOME") return "Settings";
    }
    return "System Settings";
}
