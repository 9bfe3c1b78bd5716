// Documents handed to the program: named on its command line, or dropped on its window.
#include "platform/gtk/window_gtk.h"
#include "platform/window_shell.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

namespace {

using FilesHandler = std::function<void(const std::vector<std::string>&)>;

std::vector<std::string> g_Held;  // from the command line, until a handler exists
bool g_Installed = false;
FilesHandler g_OnFiles;  // lives to the end of the process: drops may come at any time

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

gboolean DeliverHeld(gpointer data) {
    std::unique_ptr<std::vector<std::string>> paths(static_cast<std::vector<std::string>*>(data));
    g_OnFiles(*paths);
    return G_SOURCE_REMOVE;
}

// Local paths of the dropped files that are documents; files without a path are skipped.
std::vector<std::string> DroppedDocuments(const GValue* value) {
    std::vector<std::string> paths;
    if (!value || !G_VALUE_HOLDS(value, GDK_TYPE_FILE_LIST)) return paths;
    GSList* files = gdk_file_list_get_files(static_cast<GdkFileList*>(g_value_get_boxed(value)));
    for (GSList* item = files; item; item = item->next) {
        if (char* path = g_file_get_path(G_FILE(item->data))) {
            paths.emplace_back(path);
            g_free(path);
        }
    }
    g_slist_free(files);
    return OsDocumentPaths(paths);
}

// Before the files are known the drop promises nothing; the next motion tells.
GdkDragAction ActionForDrop(GtkDropTarget* target) {
    return DroppedDocuments(gtk_drop_target_get_value(target)).empty() ? GdkDragAction(0)
                                                                       : GDK_ACTION_COPY;
}

GdkDragAction EnterOrMove(GtkDropTarget* target, double, double, gpointer) {
    return ActionForDrop(target);
}

gboolean Drop(GtkDropTarget*, const GValue* value, double, double, gpointer) {
    const std::vector<std::string> documents = DroppedDocuments(value);
    if (documents.empty()) return FALSE;
    g_OnFiles(documents);
    return TRUE;
}

void AddDropTarget(GtkWindow* gtk) {
    GtkDropTarget* target = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
    // The files are read while hovering, so the pointer can say whether a drop would count.
    gtk_drop_target_set_preload(target, TRUE);
    // Ahead of the web view's own drop handling. GTK's own "accept" takes only drops that offer
    // files for copying: anything else (text, links) stays with the web view.
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(target), GTK_PHASE_CAPTURE);
    g_signal_connect(target, "enter", G_CALLBACK(EnterOrMove), nullptr);
    g_signal_connect(target, "motion", G_CALLBACK(EnterOrMove), nullptr);
    g_signal_connect(target, "drop", G_CALLBACK(Drop), nullptr);
    gtk_widget_add_controller(GTK_WIDGET(gtk), GTK_EVENT_CONTROLLER(target));
}

}  // namespace

std::vector<std::string> OsDocumentPaths(const std::vector<std::string>& paths) {
    std::vector<std::string> documents;
    std::copy_if(paths.begin(), paths.end(), std::back_inserter(documents),
                 [](const std::string& path) {
                     const std::string extension = LowerExtension(path);
                     return extension == "qlntheme" || extension == "qlnmacro";
                 });
    return documents;
}

void OsPrepareFileOpenHandling(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && std::string(argv[i]).rfind("--", 0) != 0) arguments.emplace_back(argv[i]);
    }
    const std::vector<std::string> documents = OsDocumentPaths(arguments);
    g_Held.insert(g_Held.end(), documents.begin(), documents.end());
}

void OsInstallFileOpenHandlers(OsWindow* window, FilesHandler onFiles) {
    if (g_Installed || !onFiles) return;
    g_Installed = true;
    g_OnFiles = std::move(onFiles);
    if (!g_Held.empty()) {
        g_idle_add(DeliverHeld, new std::vector<std::string>(std::move(g_Held)));
        g_Held.clear();
    }
    if (GtkWindow* gtk = LiveGtkWindow(window)) AddDropTarget(gtk);
}
