// A modal message over the main window, waited for in a nested loop.
#include "platform/gtk/window_gtk.h"
#include "platform/shell.h"
#include "platform/window_shell.h"

#include <glib-unix.h>

#include <vector>

namespace {

// The loops of the alerts now open, innermost last.
std::vector<GMainLoop*> g_OpenAlerts;  // UI thread

gboolean QuitLoop(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

void QuitOnResponse(GtkDialog*, int, gpointer loop) { QuitLoop(loop); }

void QuitOnDestroy(GtkWidget*, gpointer loop) { QuitLoop(loop); }

// Stays until the alert removes it: the descriptor remains readable.
gboolean QuitOnDisplayLost(gint, GIOCondition, gpointer loop) {
    QuitLoop(loop);
    return G_SOURCE_CONTINUE;
}

GtkWidget* NewDialog(const std::string& message) {
    // GTK takes only UTF-8; a message that is not stays out rather than being half shown.
    const bool valid = g_utf8_validate(message.data(), gssize(message.size()), nullptr);
    GtkWidget* dialog = gtk_message_dialog_new(
        LiveGtkWindow(LatestWindow()),
        GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_INFO,
        GTK_BUTTONS_OK, "%s", valid ? message.c_str() : "");
    gtk_window_set_title(GTK_WINDOW(dialog), "Quillon");
    return dialog;
}

}  // namespace

void OsShowAlert(const std::string& message) {
    if (OsDisplayLost() || !StartGtk()) return;
    GtkWidget* dialog = NewDialog(message);
    GtkWidget* alive = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&alive));
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(dialog, "response", G_CALLBACK(QuitOnResponse), loop);
    g_signal_connect(dialog, "destroy", G_CALLBACK(QuitOnDestroy), loop);
    const guint lostWatch = g_unix_fd_add_full(G_PRIORITY_HIGH, OsDisplayLostFd(), G_IO_IN,
                                               QuitOnDisplayLost, loop, nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
    g_OpenAlerts.push_back(loop);
    g_main_loop_run(loop);
    g_OpenAlerts.pop_back();
    g_source_remove(lostWatch);
    if (alive) {
        g_signal_handlers_disconnect_by_data(alive, loop);
        g_object_remove_weak_pointer(G_OBJECT(alive), reinterpret_cast<gpointer*>(&alive));
        if (!OsDisplayLost()) gtk_window_destroy(GTK_WINDOW(alive));
    }
    g_main_loop_unref(loop);
}

void EndAlerts() {
    for (GMainLoop* loop : g_OpenAlerts) g_main_loop_quit(loop);
}
