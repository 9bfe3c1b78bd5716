#pragma once

// The desktop around the program under test: a real window manager from Debian on the private
// display, and what the X server says about top-level windows, asked on the harness's own
// connection.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <ostream>
#include <string>
#include <vector>

struct WindowManager {
    pid_t pid = -1;
};

// Starts openbox on $DISPLAY and waits until it manages the screen.
bool StartWindowManager(WindowManager& manager);
void StopWindowManager(WindowManager& manager);

// The client window a process shows (by _NET_WM_PID, searched through the whole tree); None
// when it shows none.
Window FindWindowOfPid(pid_t pid);
// A window whose _NET_WM_NAME is exactly this text; None when there is none.
Window FindWindowNamed(const std::string& name);
// _NET_WM_STATE of the window holds the named atom (such as "_NET_WM_STATE_ABOVE").
bool WindowHasState(Window window, const char* state);
// The window ICCCM calls iconic (WM_STATE), as a window manager marks a minimized window.
bool WindowIsIconic(Window window);
// _NET_ACTIVE_WINDOW of the root.
Window ActiveWindow();
// Outer frame of a managed window in root coordinates: its position less _NET_FRAME_EXTENTS.
struct FrameRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const FrameRect&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const FrameRect& r) {
        return out << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
};
FrameRect WindowFrame(Window window);
// Asks the window to close, the way a window manager's close button does.
void SendDeleteWindow(Window window);
// Asks the window manager to activate a window.
void ActivateWindow(Window window);
// A CARDINAL property of a window (None: the root), such as _NET_FRAME_EXTENTS.
std::vector<long> WindowCardinals(Window window, const char* name);
