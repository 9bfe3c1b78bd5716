// GTK started on X11, its Xlib connection, and the desktop settings read through it.
#include "platform/gtk/window_gtk.h"
#include "platform/input.h"
#include "platform/x11/connection_x11.h"

#include <gdk/x11/gdkx.h>

bool StartGtk() {
    if (!gtk_is_initialized()) {
        // Every window service works on X11 ids: under Wayland, GTK would pick its own backend.
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check()) return false;
    }
    Display* display = GdkXDisplay();
    if (!display) return false;
    // GDK's own I/O error handler ends the process; the program saves and ends in its own time.
    WatchConnection(display);
    return true;
}

Display* GdkXDisplay() {
    if (!gtk_is_initialized()) return nullptr;
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
    return gdk_x11_display_get_xdisplay(display);
}

GdkXErrorTrap::GdkXErrorTrap() { gdk_x11_display_error_trap_push(gdk_display_get_default()); }

GdkXErrorTrap::~GdkXErrorTrap() {
    gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default());
}

Window XidOf(GtkWindow* gtk) {
    if (!gtk) return None;
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(gtk));
    return surface ? gdk_x11_surface_get_xid(surface) : None;
}

void OsReadDoubleClickSetting() {
    GtkSettings* settings = gtk_is_initialized() ? gtk_settings_get_default() : nullptr;
    if (!settings) return;
    int milliseconds = 0;
    g_object_get(settings, "gtk-double-click-time", &milliseconds, nullptr);
    OsSetDoubleClickSeconds(milliseconds / 1000.0);
}
