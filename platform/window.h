#pragma once

// The native window with its web view. Every call but OsWindowDispatch and OsWindowReturn belongs
// to the UI thread: the thread that created the window and runs its loop.

#include "platform/shell.h"

#include <functional>
#include <string>

struct OsWindow;

// Opens a window with a web view (developer tools when devTools is on). Null when no display is
// usable or GTK cannot start.
OsWindow* OsWindowCreate(bool devTools);
// Closes the window and frees it; its loop must have ended. Also once the user closed it.
void OsWindowDestroy(OsWindow* window);

enum class OsWindowSizeHint { kNone, kMin, kMax, kFixed };
bool OsWindowSetTitle(OsWindow* window, const std::string& title);
bool OsWindowSetSize(OsWindow* window, int width, int height, OsWindowSizeHint hint);
bool OsWindowSetHtml(OsWindow* window, const std::string& html);
bool OsWindowEval(OsWindow* window, const std::string& script);
// Runs script at the start of every page the window loads from now on.
bool OsWindowAddInitScript(OsWindow* window, const std::string& script);

// Called on the UI thread for each call of the page's function; requestJson is the JSON array
// of its arguments. Every call is answered once with OsWindowReturn, now or later.
using OsWindowBinding = std::function<void(const std::string& id, const std::string& requestJson)>;
// False when the name is already bound.
bool OsWindowBind(OsWindow* window, const std::string& name, OsWindowBinding binding);
// Resolves the call's promise with the JSON value resultJson, or rejects it with that value.
bool OsWindowReturn(OsWindow* window, const std::string& id, bool resolve,
                    const std::string& resultJson);

// Runs task on the UI thread; callable from any thread.
bool OsWindowDispatch(OsWindow* window, std::function<void()> task);
// Runs the UI loop on the calling thread until OsWindowTerminate, the window's closing or the
// loss of the display, serving keyboard-layout notifications meanwhile. After kDisplayLost no
// call may touch X or GTK again; OsWindowDestroy then only frees memory.
MainLoopEnd OsWindowRun(OsWindow* window);
bool OsWindowTerminate(OsWindow* window);

// The GtkWindow* of the window.
void* OsWindowNativeWindow(OsWindow* window);
