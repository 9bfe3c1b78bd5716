#pragma once

// Every X connection of the program reports its loss here instead of letting Xlib end the
// process from inside its error handler, where the other threads would be left hanging.

#include <X11/Xlib.h>

// Installs the loss report on a connection; call right after opening it.
void WatchConnection(Display* display);
// Marks the display as gone and wakes the main loop; safe from any thread, any number of times.
void NoteDisplayLost();
