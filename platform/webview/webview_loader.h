#pragma once

// The web view library, loaded when the first window is made rather than when the program
// starts: a run that only talks to another instance never loads the web engine.

#include "platform/webview/webview_api.h"

struct WebviewApi {
    decltype(&webview_create) create;
    decltype(&webview_destroy) destroy;
    decltype(&webview_run) run;
    decltype(&webview_terminate) terminate;
    decltype(&webview_dispatch) dispatch;
    decltype(&webview_get_window) getWindow;
    decltype(&webview_get_native_handle) getNativeHandle;
    decltype(&webview_set_title) setTitle;
    decltype(&webview_set_size) setSize;
    decltype(&webview_set_html) setHtml;
    decltype(&webview_init) init;
    decltype(&webview_eval) eval;
    decltype(&webview_bind) bind;
    decltype(&webview_return) returnResult;
};

// Loads lib/libwebview.so.0.12 (found through the program's rpath) once; null when it or any of
// its functions is missing. Its symbols, the web engine's among them, become visible to dlsym.
const WebviewApi* LoadWebviewApi();
// The loaded library; only after LoadWebviewApi has succeeded.
const WebviewApi& Webview();
