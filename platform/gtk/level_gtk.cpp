// The window's level and visibility, asked of the window manager the EWMH way.
#include "platform/gtk/window_gtk.h"
#include "platform/window_shell.h"
#include "platform/x11/ewmh_x11.h"

#include <algorithm>

namespace {

constexpr long kRemove = 0, kAdd = 1;
// Source indications: a normal application, and a pager-like request that window managers honour
// despite focus-stealing prevention (the user asked for the window).
constexpr long kFromApplication = 1, kFromPager = 2;

// A withdrawn window owns its _NET_WM_STATE; the window manager reads it when the window maps.
void EditStateProperty(Display* display, Window xid, Atom state, bool on) {
    std::vector<Atom> states = ReadAtoms(display, xid, "_NET_WM_STATE");
    states.erase(std::remove(states.begin(), states.end(), state), states.end());
    if (on) states.push_back(state);
    WriteAtoms(display, xid, "_NET_WM_STATE", states);
}

}  // namespace

void OsSetAlwaysOnTop(OsWindow* window, bool on) {
    GtkWindow* gtk = LiveGtkWindow(window);
    Display* display = GdkXDisplay();
    const Window xid = XidOf(gtk);
    if (!display || xid == None) return;
    GdkXErrorTrap trap;
    const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    if (gtk_widget_get_mapped(GTK_WIDGET(gtk))) {
        SendToWindowManager(display, xid, "_NET_WM_STATE", on ? kAdd : kRemove, long(above), 0,
                            kFromApplication);
    } else {
        EditStateProperty(display, xid, above, on);
    }
}

void OsMiniaturize(OsWindow* window) {
    if (GtkWindow* gtk = LiveGtkWindow(window)) gtk_window_minimize(gtk);
}

void OsBringToFront(OsWindow* window) {
    GtkWindow* gtk = LiveGtkWindow(window);
    if (!gtk) return;
    gtk_window_present(gtk);
    Display* display = GdkXDisplay();
    const Window xid = XidOf(gtk);
    if (!display || xid == None) return;
    GdkXErrorTrap trap;
    SendToWindowManager(display, xid, "_NET_ACTIVE_WINDOW", kFromPager, CurrentTime);
}
