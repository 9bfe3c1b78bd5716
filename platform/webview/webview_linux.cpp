// The window through the webview library: a thin layer that keeps the library's types and its
// C callbacks inside platform/.
#include "platform/webview/webview_api.h"
#include "platform/window.h"

#include <map>
#include <memory>
#include <utility>

struct OsWindow {
    webview_t view = nullptr;
    // The library keeps raw pointers to the bindings until the view is destroyed; the map gives
    // each one a stable address.
    std::map<std::string, std::unique_ptr<OsWindowBinding>> bindings;
};

namespace {

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
    webview_t view = webview_create(devTools ? 1 : 0, nullptr);
    if (!view) return nullptr;
    auto* window = new OsWindow;
    window->view = view;
    return window;
}

void OsWindowDestroy(OsWindow* window) {
    if (!window) return;
    webview_destroy(window->view);
    delete window;
}

bool OsWindowSetTitle(OsWindow* window, const std::string& title) {
    return Ok(webview_set_title(window->view, title.c_str()));
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
    return Ok(webview_set_size(window->view, width, height, hints));
}

bool OsWindowSetHtml(OsWindow* window, const std::string& html) {
    return Ok(webview_set_html(window->view, html.c_str()));
}

bool OsWindowEval(OsWindow* window, const std::string& script) {
    return Ok(webview_eval(window->view, script.c_str()));
}

bool OsWindowBind(OsWindow* window, const std::string& name, OsWindowBinding binding) {
    if (window->bindings.count(name)) return false;
    auto stored = std::make_unique<OsWindowBinding>(std::move(binding));
    if (!Ok(webview_bind(window->view, name.c_str(), CallBinding, stored.get()))) return false;
    window->bindings.emplace(name, std::move(stored));
    return true;
}

bool OsWindowReturn(OsWindow* window, const std::string& id, bool resolve,
                    const std::string& resultJson) {
    return Ok(webview_return(window->view, id.c_str(), resolve ? 0 : 1, resultJson.c_str()));
}

bool OsWindowDispatch(OsWindow* window, std::function<void()> task) {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    if (!Ok(webview_dispatch(window->view, RunTask, owned.get()))) return false;
    // The UI thread frees it once run; a task still queued when the window goes is lost with it.
    owned.release();
    return true;
}

bool OsWindowRun(OsWindow* window) { return Ok(webview_run(window->view)); }

bool OsWindowTerminate(OsWindow* window) { return Ok(webview_terminate(window->view)); }

void* OsWindowNativeWindow(OsWindow* window) { return webview_get_window(window->view); }
