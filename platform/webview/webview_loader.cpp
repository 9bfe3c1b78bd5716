#include "platform/webview/webview_loader.h"

#include <dlfcn.h>

namespace {

template <typename Function>
bool Find(void* library, const char* name, Function& out) {
    out = reinterpret_cast<Function>(dlsym(library, name));
    return out != nullptr;
}

const WebviewApi* Load() {
    void* library = dlopen("libwebview.so.0.12", RTLD_NOW | RTLD_GLOBAL);
    if (!library) return nullptr;
    static WebviewApi api;
    const bool all =
        Find(library, "webview_create", api.create) &&
        Find(library, "webview_destroy", api.destroy) && Find(library, "webview_run", api.run) &&
        Find(library, "webview_terminate", api.terminate) &&
        Find(library, "webview_dispatch", api.dispatch) &&
        Find(library, "webview_get_window", api.getWindow) &&
        Find(library, "webview_get_native_handle", api.getNativeHandle) &&
        Find(library, "webview_set_title", api.setTitle) &&
        Find(library, "webview_set_size", api.setSize) &&
        Find(library, "webview_set_html", api.setHtml) && Find(library, "webview_init", api.init) &&
        Find(library, "webview_eval", api.eval) && Find(library, "webview_bind", api.bind) &&
        Find(library, "webview_return", api.returnResult);
    return all ? &api : nullptr;
}

}  // namespace

const WebviewApi* LoadWebviewApi() {
    static const WebviewApi* api = Load();
    return api;
}

const WebviewApi& Webview() { return *LoadWebviewApi(); }
