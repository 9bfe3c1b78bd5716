// Where the main window stands and where it goes back to: the outer frame in root coordinates,
// as the X server and the window manager see it.
#include "platform/gtk/window_gtk.h"
#include "platform/window_shell.h"
#include "platform/x11/ewmh_x11.h"

#include <gdk/x11/gdkx.h>

#include <algorithm>
#include <cmath>

namespace {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int Bottom() const { return y + height; }
};

struct Extents {
    int left = 0, right = 0, top = 0, bottom = 0;
};

// The window as it stands: its client rectangle and the frame the window manager put around it.
struct Framed {
    GtkWindow* gtk = nullptr;
    Display* display = nullptr;
    Window xid = None;
    Rect client;
    Extents extents;

    Rect Frame() const {
        return {client.x - extents.left, client.y - extents.top,
                client.width + extents.left + extents.right,
                client.height + extents.top + extents.bottom};
    }
};

// All zero without a window manager.
Extents FrameExtents(Display* display, Window xid) {
    const std::vector<long> values = ReadCardinals(display, xid, "_NET_FRAME_EXTENTS");
    if (values.size() < 4) return {};
    return {int(values[0]), int(values[1]), int(values[2]), int(values[3])};
}

bool ClientRect(Display* display, Window xid, Rect& rect) {
    Window root = None, child = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, xid, &root, &x, &y, &width, &height, &border, &depth)) return false;
    if (!XTranslateCoordinates(display, xid, root, 0, 0, &x, &y, &child)) return false;
    rect = {x, y, int(width), int(height)};
    return true;
}

bool ReadFramed(OsWindow* window, Framed& framed) {
    framed.gtk = LiveGtkWindow(window);
    if (!framed.gtk || !gtk_widget_get_mapped(GTK_WIDGET(framed.gtk))) return false;
    framed.display = GdkXDisplay();
    framed.xid = XidOf(framed.gtk);
    if (!framed.display || framed.xid == None) return false;
    GdkXErrorTrap trap;
    framed.extents = FrameExtents(framed.display, framed.xid);
    return ClientRect(framed.display, framed.xid, framed.client);
}

// GDK measures monitors in its own units; X in device pixels.
Rect DevicePixels(const GdkRectangle& rect, int scale) {
    return {rect.x * scale, rect.y * scale, rect.width * scale, rect.height * scale};
}

Rect WorkArea(GdkMonitor* monitor) {
    GdkRectangle area;
    gdk_x11_monitor_get_workarea(monitor, &area);
    return DevicePixels(area, gdk_monitor_get_scale_factor(monitor));
}

bool GrownByOneHolds(GdkMonitor* monitor, int x, int y) {
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    const Rect r = DevicePixels(geometry, gdk_monitor_get_scale_factor(monitor));
    return x >= r.x - 1 && x < r.x + r.width + 1 && y >= r.y - 1 && y < r.y + r.height + 1;
}

// The work area of the first monitor, in GDK's order, whose geometry grown by one pixel holds
// the point.
bool WorkAreaAt(int x, int y, Rect& area) {
    GListModel* monitors = gdk_display_get_monitors(gdk_display_get_default());
    const guint count = g_list_model_get_n_items(monitors);
    for (guint i = 0; i < count; ++i) {
        auto* monitor = GDK_MONITOR(g_list_model_get_item(monitors, i));
        const bool holds = GrownByOneHolds(monitor, x, y);
        if (holds) area = WorkArea(monitor);
        g_object_unref(monitor);
        if (holds) return true;
    }
    return false;
}

// The work area of the monitor showing the window, else of the first monitor.
bool WorkAreaOfWindow(GtkWindow* gtk, Rect& area) {
    GdkDisplay* display = gdk_display_get_default();
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(gtk));
    GdkMonitor* monitor = surface ? gdk_display_get_monitor_at_surface(display, surface) : nullptr;
    if (monitor) {
        area = WorkArea(monitor);
        return true;
    }
    GListModel* monitors = gdk_display_get_monitors(display);
    if (g_list_model_get_n_items(monitors) == 0) return false;
    auto* first = GDK_MONITOR(g_list_model_get_item(monitors, 0));
    area = WorkArea(first);
    g_object_unref(first);
    return true;
}

// Cut to the work area, the bottom moved up into it, never above its top.
Rect FitInto(Rect frame, const Rect& area) {
    frame.width = std::min(frame.width, area.width);
    frame.height = std::min(frame.height, area.height);
    if (frame.Bottom() > area.Bottom()) frame.y = std::max(area.Bottom() - frame.height, area.y);
    return frame;
}

// GTK keeps the size as the window's own, so that its next layout does not undo it. The X request
// makes the size take effect now: GTK alone drops a size asked for while it still settles the
// previous change.
void SetContentSize(const Framed& framed, int width, int height) {
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(framed.gtk));
    const double scale = surface ? gdk_surface_get_scale_factor(surface) : 1;
    gtk_window_set_default_size(framed.gtk, std::max(1, int(std::lround(width / scale))),
                                std::max(1, int(std::lround(height / scale))));
    GdkXErrorTrap trap;
    XResizeWindow(framed.display, framed.xid, unsigned(std::max(1, width)),
                  unsigned(std::max(1, height)));
    XFlush(framed.display);
}

// The window manager places the frame's top-left at the requested point: the client keeps the
// default north-west gravity.
void MoveFrameTo(const Framed& framed, int x, int y) {
    GdkXErrorTrap trap;
    XMoveWindow(framed.display, framed.xid, x, y);
    XFlush(framed.display);
}

}  // namespace

bool OsGetWindowPlacement(OsWindow* window, int& x, int& y, int& width, int& height,
                          bool& maximized) {
    x = y = width = height = 0;
    maximized = false;
    Framed framed;
    if (!ReadFramed(window, framed)) return false;
    const Rect frame = framed.Frame();
    x = frame.x;
    y = frame.y;
    width = frame.width;
    height = frame.height;
    maximized = gtk_window_is_maximized(framed.gtk);
    return true;
}

void OsRestoreWindowPlacement(OsWindow* window, int x, int y, int width, int height,
                              bool maximized) {
    Framed framed;
    Rect area;
    if (width < 1 || height < 1 || !ReadFramed(window, framed) || !WorkAreaAt(x, y, area)) return;
    const Rect frame = FitInto({x, y, width, height}, area);
    const Extents& e = framed.extents;
    MoveFrameTo(framed, frame.x, frame.y);
    SetContentSize(framed, frame.width - e.left - e.right, frame.height - e.top - e.bottom);
    if (maximized && !gtk_window_is_maximized(framed.gtk)) gtk_window_maximize(framed.gtk);
}

void OsResizeWindowClamped(OsWindow* window, int width, int height) {
    Framed framed;
    Rect area;
    if (width < 1 || height < 1 || !ReadFramed(window, framed)) return;
    if (!WorkAreaOfWindow(framed.gtk, area)) return;
    const Rect frame = framed.Frame();
    const int title = frame.height - framed.client.height;
    const int limit = area.height - title - 20;
    if (limit <= 0) return;
    const int contentHeight = std::min(height, limit);
    SetContentSize(framed, width, contentHeight);
    const int frameHeight = contentHeight + title;
    if (frame.y + frameHeight > area.Bottom()) {
        MoveFrameTo(framed, frame.x, area.Bottom() - frameHeight);
    }
}
