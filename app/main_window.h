#pragma once

// The main window's life: opened with its page bridge, placed where the user left it, and its
// placement kept in the application settings.

struct OsWindow;

// Creates the window with its title, shortcuts, size, start-up script and bindings, and makes it
// the main window. Null when no window can be created.
OsWindow* OpenMainWindow();
// Puts the window where it was last time, reads the placement back and applies the window
// preferences (always on top, start minimised).
void PlaceMainWindow(OsWindow* window);
// Stores the main window's placement and saves the application settings, when the window exists
// and reports a real size.
void SaveGeometry();
// The same for a given window.
void SavePlacementOf(OsWindow* window);
