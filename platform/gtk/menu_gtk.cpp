// The window's keyboard shortcuts, caught before the web view sees the keys.
#include "platform/gtk/window_gtk.h"
#include "platform/window_shell.h"

namespace {

gboolean Quit(GtkWidget*, GVariant*, gpointer data) {
    RequestQuit(static_cast<OsWindow*>(data));
    return TRUE;
}

// Goes through "close-request" like the window manager's close button.
gboolean Close(GtkWidget* widget, GVariant*, gpointer) {
    gtk_window_close(GTK_WINDOW(widget));
    return TRUE;
}

gboolean Minimize(GtkWidget* widget, GVariant*, gpointer) {
    gtk_window_minimize(GTK_WINDOW(widget));
    return TRUE;
}

void AddShortcut(GtkEventController* controller, const char* keys, GtkShortcutFunc action,
                 OsWindow* window) {
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(controller),
        gtk_shortcut_new(gtk_shortcut_trigger_parse_string(keys),
                         gtk_callback_action_new(action, window, nullptr)));
}

// The name window managers and task lists show; GLib allows setting it once.
void NameApplication(const std::string& appName) {
    static bool named = false;
    if (named || appName.empty()) return;
    named = true;
    g_set_application_name(appName.c_str());
}

}  // namespace

void OsInstallMainMenu(OsWindow* window, const std::string& appName) {
    GtkWindow* gtk = LiveGtkWindow(window);
    if (!gtk || g_object_get_data(G_OBJECT(gtk), "quillon-shortcuts")) return;
    NameApplication(appName);
    GtkEventController* shortcuts = gtk_shortcut_controller_new();
    // The capture phase runs on the window before the focused web view gets the key.
    gtk_event_controller_set_propagation_phase(shortcuts, GTK_PHASE_CAPTURE);
    AddShortcut(shortcuts, "<Control>q", Quit, window);
    AddShortcut(shortcuts, "<Control>w", Close, window);
    AddShortcut(shortcuts, "<Control>m", Minimize, window);
    AddShortcut(shortcuts, "<Control>h", Minimize, window);
    gtk_widget_add_controller(GTK_WIDGET(gtk), shortcuts);
    g_object_set_data(G_OBJECT(gtk), "quillon-shortcuts", shortcuts);
}
