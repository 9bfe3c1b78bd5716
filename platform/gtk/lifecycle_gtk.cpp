// Lifecycle notices of the main window: its placement settling after a move or resize and before
// it closes, and the quit path shared by SIGINT, SIGTERM and Ctrl+Q.
#include "platform/gtk/window_gtk.h"
#include "platform/shell.h"
#include "platform/window.h"
#include "platform/window_shell.h"

#include <gdk/x11/gdkx.h>
#include <glib-unix.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <utility>

namespace {

// A drag of the window sends a stream of changes; the notice comes once it rests this long.
constexpr guint kSettleMs = 300;

struct Hooks {
    OsWindow* window = nullptr;
    std::function<void()> onPlacementChanged, onTerminate;
    // The screen saver's notice reaches the program through the input tap, which watches
    // MIT-SCREEN-SAVER on its own connection and handles the lock there; the window holds the
    // hook only so the call has the same shape on every desktop.
    std::function<void()> onSessionLocked;
    int signalFd = -1;
    guint signalSource = 0, requestSource = 0, settleTimer = 0;
    gulong xeventHandler = 0, closeHandler = 0;
    bool quitting = false;
};

std::map<OsWindow*, Hooks*> g_Hooks;  // UI thread

void Quit(Hooks* hooks) {
    if (hooks->quitting) return;
    hooks->quitting = true;
    if (hooks->onTerminate) hooks->onTerminate();
    OsWindowTerminate(hooks->window);
    EndAlerts();
}

void StopSettleTimer(Hooks* hooks) {
    if (hooks->settleTimer) g_source_remove(hooks->settleTimer);
    hooks->settleTimer = 0;
}

gboolean PlacementSettled(gpointer data) {
    auto* hooks = static_cast<Hooks*>(data);
    hooks->settleTimer = 0;
    if (hooks->onPlacementChanged) hooks->onPlacementChanged();
    return G_SOURCE_REMOVE;
}

// Each move or resize of the toplevel, whether the client or the window manager made it.
gboolean WatchConfigure(GdkX11Display*, gpointer xevent, gpointer data) {
    auto* hooks = static_cast<Hooks*>(data);
    const auto* event = static_cast<const XEvent*>(xevent);
    if (event->type != ConfigureNotify) return FALSE;
    if (event->xconfigure.window != XidOf(LiveGtkWindow(hooks->window))) return FALSE;
    StopSettleTimer(hooks);
    hooks->settleTimer = g_timeout_add(kSettleMs, PlacementSettled, hooks);
    return FALSE;
}

// Runs before the window goes, while its placement can still be read.
gboolean BeforeClose(GtkWindow*, gpointer data) {
    auto* hooks = static_cast<Hooks*>(data);
    StopSettleTimer(hooks);
    if (hooks->onPlacementChanged) hooks->onPlacementChanged();
    return FALSE;
}

gboolean TerminationSignal(gint fd, GIOCondition, gpointer data) {
    signalfd_siginfo info;
    while (read(fd, &info, sizeof info) == sizeof info) {
    }
    Quit(static_cast<Hooks*>(data));
    return G_SOURCE_CONTINUE;
}

gboolean TerminationRequest(gint fd, GIOCondition, gpointer data) {
    uint64_t count = 0;
    while (read(fd, &count, sizeof count) == sizeof count) {
    }
    Quit(static_cast<Hooks*>(data));
    return G_SOURCE_CONTINUE;
}

// SIGINT and SIGTERM reach the loop either through the handler's request descriptor (a thread
// that does not block them took the signal) or, when every thread blocks them, through a
// signalfd.
void WatchTerminationSignals(Hooks* hooks) {
    if (OsTerminationRequestFd() >= 0) {
        hooks->requestSource =
            g_unix_fd_add(OsTerminationRequestFd(), G_IO_IN, TerminationRequest, hooks);
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    hooks->signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (hooks->signalFd < 0) return;
    hooks->signalSource = g_unix_fd_add(hooks->signalFd, G_IO_IN, TerminationSignal, hooks);
}

void WatchWindow(Hooks* hooks) {
    GtkWindow* gtk = LiveGtkWindow(hooks->window);
    if (!gtk) return;
    hooks->xeventHandler =
        g_signal_connect(gdk_display_get_default(), "xevent", G_CALLBACK(WatchConfigure), hooks);
    hooks->closeHandler = g_signal_connect(gtk, "close-request", G_CALLBACK(BeforeClose), hooks);
}

void Remove(Hooks* hooks) {
    StopSettleTimer(hooks);
    if (hooks->signalSource) g_source_remove(hooks->signalSource);
    if (hooks->requestSource) g_source_remove(hooks->requestSource);
    if (hooks->signalFd >= 0) close(hooks->signalFd);
    if (hooks->xeventHandler) {
        g_signal_handler_disconnect(gdk_display_get_default(), hooks->xeventHandler);
    }
    GtkWindow* gtk = LiveGtkWindow(hooks->window);
    if (hooks->closeHandler && gtk) g_signal_handler_disconnect(gtk, hooks->closeHandler);
    SetQuitAction(hooks->window, {});
    g_Hooks.erase(hooks->window);
    delete hooks;
}

}  // namespace

void OsInstallLifecycleHooks(OsWindow* window, std::function<void()> onPlacementChanged,
                             std::function<void()> onTerminate,
                             std::function<void()> onSessionLocked) {
    if (!window) return;
    Hooks*& hooks = g_Hooks[window];
    const bool fresh = hooks == nullptr;
    if (fresh) hooks = new Hooks;
    hooks->window = window;
    hooks->onPlacementChanged = std::move(onPlacementChanged);
    hooks->onTerminate = std::move(onTerminate);
    hooks->onSessionLocked = std::move(onSessionLocked);
    if (!fresh) return;
    WatchTerminationSignals(hooks);
    WatchWindow(hooks);
    Hooks* installed = hooks;
    SetQuitAction(window, [installed] { Quit(installed); });
    AtWindowDestroy(window, [installed] { Remove(installed); });
}
