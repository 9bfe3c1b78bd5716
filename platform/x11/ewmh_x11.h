#pragma once

// Window-manager properties and requests (EWMH), asked and sent on a connection the caller owns.

#include <X11/Xlib.h>

#include <vector>

// The 32-bit values of a CARDINAL property; empty when it is missing.
std::vector<long> ReadCardinals(Display* display, Window window, const char* property);
// The atoms of an ATOM property; empty when it is missing.
std::vector<Atom> ReadAtoms(Display* display, Window window, const char* property);
void WriteAtoms(Display* display, Window window, const char* property,
                const std::vector<Atom>& atoms);
// A client message about window to the window manager, through the root window.
void SendToWindowManager(Display* display, Window window, const char* type, long l0, long l1,
                         long l2 = 0, long l3 = 0);
