#pragma once

// Window look-ups for the tap thread, made on the tap's observer connection.

#include <X11/Xlib.h>

// The connection OsIsOwnWindowAt asks on; null while the tap has none.
void SetWindowQueryConnection(Display* display);
