#pragma once

// The C functions of the webview 0.12 library (GTK 4 + WebKitGTK 6.0) that Quillon calls, shipped
// as lib/libwebview.so.0.12. Declared here rather than taken from the library's sources, which
// the npm package does not carry. Only platform/ includes this file.

extern "C" {

// One web view and the window around it.
typedef void* webview_t;

// Every call reports an int code: 0 is success, negative values are failures, 1 means the name
// is already bound and 2 that it is not bound.
typedef int webview_error_t;
enum {
    WEBVIEW_ERROR_MISSING_DEPENDENCY = -5,
    WEBVIEW_ERROR_CANCELED = -4,
    WEBVIEW_ERROR_INVALID_STATE = -3,
    WEBVIEW_ERROR_INVALID_ARGUMENT = -2,
    WEBVIEW_ERROR_UNSPECIFIED = -1,
    WEBVIEW_ERROR_OK = 0,
    WEBVIEW_ERROR_DUPLICATE = 1,
    WEBVIEW_ERROR_NOT_FOUND = 2,
};

// How webview_set_size reads its width and height.
typedef int webview_hint_t;
enum {
    WEBVIEW_HINT_NONE = 0,   // the size now; the user may change it
    WEBVIEW_HINT_MIN = 1,    // the smallest size allowed
    WEBVIEW_HINT_MAX = 2,    // the largest size allowed
    WEBVIEW_HINT_FIXED = 3,  // the size now; the user may not change it
};

typedef void (*webview_dispatch_fn)(webview_t w, void* arg);
// id identifies the call for webview_return; req is the JSON array of the call's arguments.
typedef void (*webview_bind_fn)(const char* id, const char* req, void* arg);

// window null: the library opens a window of its own. Null when no display or GTK is usable.
webview_t webview_create(int debug, void* window);
webview_error_t webview_destroy(webview_t w);
// Runs the main loop on the calling thread until webview_terminate.
webview_error_t webview_run(webview_t w);
webview_error_t webview_terminate(webview_t w);
// The only call that other threads may make (besides webview_return): fn runs on the UI thread.
webview_error_t webview_dispatch(webview_t w, webview_dispatch_fn fn, void* arg);
// The GtkWindow*.
void* webview_get_window(webview_t w);
// What webview_get_native_handle returns: the window, its widget, or the WebKitWebView.
typedef int webview_native_handle_kind_t;
enum {
    WEBVIEW_NATIVE_HANDLE_KIND_UI_WINDOW = 0,
    WEBVIEW_NATIVE_HANDLE_KIND_UI_WIDGET = 1,
    WEBVIEW_NATIVE_HANDLE_KIND_BROWSER_CONTROLLER = 2,
};
void* webview_get_native_handle(webview_t w, webview_native_handle_kind_t kind);
webview_error_t webview_set_title(webview_t w, const char* title);
webview_error_t webview_set_size(webview_t w, int width, int height, webview_hint_t hints);
webview_error_t webview_set_html(webview_t w, const char* html);
// Script run at the start of every page load, before window.onload.
webview_error_t webview_init(webview_t w, const char* js);
webview_error_t webview_eval(webview_t w, const char* js);
// Adds the global JavaScript function name returning a promise that webview_return settles.
webview_error_t webview_bind(webview_t w, const char* name, webview_bind_fn fn, void* arg);
webview_error_t webview_unbind(webview_t w, const char* name);
// status 0 resolves the call's promise with the JSON value result (empty text: undefined); any
// other status rejects it with that value.
webview_error_t webview_return(webview_t w, const char* id, int status, const char* result);

}  // extern "C"
