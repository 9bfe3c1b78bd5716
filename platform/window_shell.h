#pragma once

// Desktop-shell services around the main window: placement and level, shortcuts, lifecycle
// notices, alerts, links, permissions as X11 knows them, documents opened with the program or
// dropped on it. Every call taking a window belongs to the UI thread; a null window does nothing.

#include <functional>
#include <string>
#include <vector>

struct OsWindow;

// ---- placement, level, size (root-window coordinates, top-left origin) ----
// The outer frame (title bar and borders included) and whether the window is maximized. False,
// with every output zero, when there is no window or it is not on screen.
bool OsGetWindowPlacement(OsWindow* window, int& x, int& y, int& width, int& height,
                          bool& maximized);
// Puts the frame back when its top-left lies on some monitor (grown by one pixel each way); the
// size is cut to that monitor's work area and the bottom kept inside it. Maximizes when asked.
void OsRestoreWindowPlacement(OsWindow* window, int x, int y, int width, int height,
                              bool maximized);
// New content size; the height is cut to the work area less the title bar and 20 pixels; the top
// edge stays, unless the bottom would leave the work area.
void OsResizeWindowClamped(OsWindow* window, int width, int height);
// _NET_WM_STATE_ABOVE set or cleared.
void OsSetAlwaysOnTop(OsWindow* window, bool on);
void OsMiniaturize(OsWindow* window);
// Raised, activated and given the focus.
void OsBringToFront(OsWindow* window);

// ---- menu, lifecycle ----
// The window's shortcuts: Ctrl+Q quits, Ctrl+W closes the window, Ctrl+M and Ctrl+H minimize.
// appName is kept for window-manager facing names.
void OsInstallMainMenu(OsWindow* window, const std::string& appName);
// onPlacementChanged: after the window was moved or resized (once the change settles) and
// before it closes. onTerminate: SIGINT, SIGTERM or Ctrl+Q; the event loop ends right after it.
// onSessionLocked: the screen saver turned on. All three run on the UI thread.
void OsInstallLifecycleHooks(OsWindow* window, std::function<void()> onPlacementChanged,
                             std::function<void()> onTerminate,
                             std::function<void()> onSessionLocked);

// ---- messages and links ----
// A modal message titled "Quillon" with one "OK" button; returns when it is dismissed.
void OsShowAlert(const std::string& message);
// Opens the URL with xdg-open, started without a shell; nothing for a text that is not an
// absolute URL.
void OsOpenUrl(const std::string& url);

// ---- permissions as X11 has them ----
// The display opens and offers XTEST 2.2.
bool OsAccessibilityTrusted();
// Nothing to prompt on X11.
void OsPromptAccessibility();
// The display offers XInputExtension 2.2 or newer.
bool OsListenEventAllowed();
bool OsRequestListenEvent();
// Nothing to grant on X11: the product's help page for the topic opens instead.
void OsOpenPrivacyPane(const std::string& name);
void OsOpenSoftwareUpdate();
// "Settings" under GNOME, "System Settings" elsewhere.
std::string OsSettingsAppName();

// ---- the program and its files ----
// The WebKitGTK runtime version; false when it cannot be read.
bool OsWebKitVersion(int& major, int& minor);
// <folder above bin/>/share/quillon when that folder exists, else ".".
std::string OsResourceDir();
// "identifier=" of the installed bundle's bundle.ini; empty outside a bundle.
std::string OsBundleIdentifier();
// Reads the desktop's double-click time; UI thread, once the toolkit runs.
void OsReadDoubleClickSetting();

// ---- documents ----
// Keeps the documents named on the command line until a handler exists.
void OsPrepareFileOpenHandling(int argc, char** argv);
// Once per process: onFiles receives the held paths (posted to the UI thread) and every later
// drop of documents on the window.
void OsInstallFileOpenHandlers(OsWindow* window,
                               std::function<void(const std::vector<std::string>&)> onFiles);
// The paths whose extension, in lower case, is "qlntheme" or "qlnmacro", in their order.
std::vector<std::string> OsDocumentPaths(const std::vector<std::string>& paths);
