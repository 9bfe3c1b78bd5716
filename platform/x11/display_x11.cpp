#include "platform/shell.h"

#include <X11/Xlib.h>

void OsInitThreads() { XInitThreads(); }
