// The window through the webview library: a thin layer that keeps the library's types and its
// C callbacks inside platform/.
#include "platform/gtk/window_gtk.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/webview/webview_loader.h"
#include "platform/window.h"
#include "platform/x11/connection_x11.h"

#include <dlfcn.h>
#include <glib-unix.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

struct OsWindow {
    webview_t view = nullptr;
    // The library's own window; null once it is destroyed (the user closed it).
    GtkWindow* gtk = nullptr;
    gulong destroyHandler = 0;
    // The library keeps raw pointers to the bindings until the view is destroyed; the map gives
    // each one a stable address.
    std::map<std::string, std::unique_ptr<OsWindowBinding>> bindings;
    std::vector<std::function<void()>> cleanups;
    std::function<void()> quit;
};

namespace {

OsWindow* g_Latest = nullptr;  // UI thread
constexpr const char* kPageBase = "file:///nonexistent/quillon-page/";

void ForgetGtkWindow(GtkWidget*, gpointer data) { static_cast<OsWindow*>(data)->gtk = nullptr; }

// The library ends its loop on its own when the window goes; remembering that keeps every later
// call away from the freed GtkWindow.
void TrackGtkWindow(OsWindow* window) {
    window->gtk = GTK_WINDOW(Webview().getWindow(window->view));
    if (!window->gtk) return;
    window->destroyHandler =
        g_signal_connect(window->gtk, "destroy", G_CALLBACK(ForgetGtkWindow), window);
}

// Sources on the default main context that serve the rest of the program while the window's
// loop runs: the display-lost notice and the keyboard-layout connection.
struct LoopWatches {
    webview_t view;
    guint lostSource = 0, layoutSource = 0;

    explicit LoopWatches(webview_t runningView) : view(runningView) {
        lostSource = g_unix_fd_add_full(G_PRIORITY_HIGH, OsDisplayLostFd(), G_IO_IN,
                                        EndOnDisplayLost, this, nullptr);
        if (OsLayoutWatchFd() >= 0) {
            layoutSource = g_unix_fd_add(
                OsLayoutWatchFd(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), ServeLayout, this);
        }
    }
    ~LoopWatches() {
        if (lostSource) g_source_remove(lostSource);
        if (layoutSource) g_source_remove(layoutSource);
    }
    LoopWatches(const LoopWatches&) = delete;
    LoopWatches& operator=(const LoopWatches&) = delete;

    // Ending the library's loop queues an idle call: GLib only, no X or GTK call.
    static gboolean EndOnDisplayLost(gint, GIOCondition, gpointer data) {
        auto* watches = static_cast<LoopWatches*>(data);
        watches->lostSource = 0;
        Webview().terminate(watches->view);
        return G_SOURCE_REMOVE;
    }
    // A hang-up is read like any event: the read finds the connection broken, and the loss
    // notice ends the loop.
    // Once the watch is stopped (at shutdown, from inside this loop) its descriptor is gone; a
    // source left on it would be ready forever and starve the idle call that ends the loop.
    static gboolean ServeLayout(gint, GIOCondition condition, gpointer data) {
        if (!(condition & G_IO_NVAL) && OsLayoutWatchFd() >= 0) OsLayoutWatchDispatch();
        if (!OsDisplayLost() && OsLayoutWatchFd() >= 0 && !(condition & G_IO_NVAL)) {
            return G_SOURCE_CONTINUE;
        }
        static_cast<LoopWatches*>(data)->layoutSource = 0;
        return G_SOURCE_REMOVE;
    }
};

bool Ok(webview_error_t code) { return code == WEBVIEW_ERROR_OK; }

void CallBinding(const char* id, const char* request, void* arg) {
    (*static_cast<OsWindowBinding*>(arg))(id, request ? request : "[]");
}

void RunTask(webview_t, void* arg) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(arg));
    (*task)();
}

}  // namespace

OsWindow* OsWindowCreate(bool devTools) {
    if (OsDisplayLost() || !StartGtk()) return nullptr;
    if (!LoadWebviewApi()) return nullptr;
    webview_t view = Webview().create(devTools ? 1 : 0, nullptr);
    if (!view) return nullptr;
    auto* window = new OsWindow;
    window->view = view;
    TrackGtkWindow(window);
    // Again now that the library's window exists, in case anything it started set Xlib's
    // handlers anew: Xlib must never end the process from inside its handler.
    if (Display* display = GdkXDisplay()) WatchConnection(display);
    g_Latest = window;
    return window;
}

void OsWindowDestroy(OsWindow* window) {
    if (!window) return;
    for (auto it = window->cleanups.rbegin(); it != window->cleanups.rend(); ++it) (*it)();
    if (g_Latest == window) g_Latest = nullptr;
    // With the server gone, closing the library's window would talk to it: the process is
    // about to end, so the window is left as it is.
    if (!OsDisplayLost()) {
        if (window->gtk) g_signal_handler_disconnect(window->gtk, window->destroyHandler);
        Webview().destroy(window->view);
    }
    delete window;
}

bool OsWindowSetTitle(OsWindow* window, const std::string& title) {
    return Ok(Webview().setTitle(window->view, title.c_str()));
}

bool OsWindowSetSize(OsWindow* window, int width, int height, OsWindowSizeHint hint) {
    webview_hint_t hints = WEBVIEW_HINT_NONE;
    switch (hint) {
        case OsWindowSizeHint::kNone:
            hints = WEBVIEW_HINT_NONE;
            break;
        case OsWindowSizeHint::kMin:
            hints = WEBVIEW_HINT_MIN;
            break;
        case OsWindowSizeHint::kMax:
            hints = WEBVIEW_HINT_MAX;
            break;
        case OsWindowSizeHint::kFixed:
            hints = WEBVIEW_HINT_FIXED;
            break;
    }
    return Ok(Webview().setSize(window->view, width, height, hints));
}

bool OsWindowSetHtml(OsWindow* window, const std::string& html) {
    // A page needs an origin of its own for its local storage; the base is a folder that does
    // not exist, so relative references still load nothing.
    using LoadHtml = void (*)(void* view, const char* html, const char* baseUri);
    static const auto loadHtml =
        reinterpret_cast<LoadHtml>(dlsym(RTLD_DEFAULT, "webkit_web_view_load_html"));
    void* browser =
        Webview().getNativeHandle(window->view, WEBVIEW_NATIVE_HANDLE_KIND_BROWSER_CONTROLLER);
    if (!loadHtml || !browser) return Ok(Webview().setHtml(window->view, html.c_str()));
    loadHtml(browser, html.c_str(), kPageBase);
    return true;
}

bool OsWindowEval(OsWindow* window, const std::string& script) {
    return Ok(Webview().eval(window->view, script.c_str()));
}

bool OsWindowAddInitScript(OsWindow* window, const std::string& script) {
    return Ok(Webview().init(window->view, script.c_str()));
}

bool OsWindowBind(OsWindow* window, const std::string& name, OsWindowBinding binding) {
    if (window->bindings.count(name)) return false;
    auto stored = std::make_unique<OsWindowBinding>(std::move(binding));
    if (!Ok(Webview().bind(window->view, name.c_str(), CallBinding, stored.get()))) return false;
    window->bindings.emplace(name, std::move(stored));
    return true;
}

bool OsWindowReturn(OsWindow* window, const std::string& id, bool resolve,
                    const std::string& resultJson) {
    return Ok(
        Webview().returnResult(window->view, id.c_str(), resolve ? 0 : 1, resultJson.c_str()));
}

bool OsWindowDispatch(OsWindow* window, std::function<void()> task) {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    if (!Ok(Webview().dispatch(window->view, RunTask, owned.get()))) return false;
    // The UI thread frees it once run; a task still queued when the window goes is lost with it.
    owned.release();
    return true;
}

MainLoopEnd OsWindowRun(OsWindow* window) {
    if (!OsDisplayLost()) {
        LoopWatches watches(window->view);
        Webview().run(window->view);
    }
    return OsDisplayLost() ? MainLoopEnd::kDisplayLost : MainLoopEnd::kTerminated;
}

bool OsWindowTerminate(OsWindow* window) { return Ok(Webview().terminate(window->view)); }

void* OsWindowNativeWindow(OsWindow* window) { return Webview().getWindow(window->view); }

// With the display gone every window service stops here, before any X or GTK call.
GtkWindow* LiveGtkWindow(OsWindow* window) {
    return window && !OsDisplayLost() ? window->gtk : nullptr;
}

OsWindow* LatestWindow() { return g_Latest; }

void AtWindowDestroy(OsWindow* window, std::function<void()> cleanup) {
    window->cleanups.push_back(std::move(cleanup));
}

void SetQuitAction(OsWindow* window, std::function<void()> quit) { window->quit = std::move(quit); }

void RequestQuit(OsWindow* window) {
    if (window->quit) {
        window->quit();
    } else {
        OsWindowTerminate(window);
    }
}
