#pragma once

// What the shell services need of the window and of GTK: the GtkWindow while it lives, its X
// window, clean-up run when the window is freed, and the quit path that Ctrl+Q shares with the
// termination signals. UI thread only.

#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <functional>

struct OsWindow;

// Starts GTK on its X11 backend once and puts GDK's Xlib connection under the loss report.
// False when no display is usable.
bool StartGtk();
// GDK's Xlib connection; null before StartGtk succeeded.
Display* GdkXDisplay();

// X errors of the calls made in its scope are dropped: the window may go at any moment, and GDK
// ends the process on an error it was not told to expect.
struct GdkXErrorTrap {
    GdkXErrorTrap();
    ~GdkXErrorTrap();
    GdkXErrorTrap(const GdkXErrorTrap&) = delete;
    GdkXErrorTrap& operator=(const GdkXErrorTrap&) = delete;
};

// Null for a null window, once the window was closed or destroyed, and once the display is lost.
GtkWindow* LiveGtkWindow(OsWindow* window);
// The X window of a live GtkWindow; None before it is realized.
Window XidOf(GtkWindow* gtk);
// The latest window created and not yet freed; null when there is none.
OsWindow* LatestWindow();

// Closes every open alert, as when dismissed: an alert waits in a loop of its own, which would
// keep the program from quitting.
void EndAlerts();

// Runs when OsWindowDestroy frees the window, before the library's window goes.
void AtWindowDestroy(OsWindow* window, std::function<void()> cleanup);
// The lifecycle hooks' way to quit (notice, then the end of the loop); Ctrl+Q takes it.
void SetQuitAction(OsWindow* window, std::function<void()> quit);
// The quit action when one is set, else just the end of the loop.
void RequestQuit(OsWindow* window);
