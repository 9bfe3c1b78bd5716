#include "platform/x11/connection_x11.h"
#include "platform/shell.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<bool> g_DisplayLost{false};
const int g_DisplayLostFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

// Xlib calls the exit handler after the I/O error handler; returning from it leaves the
// connection marked broken, so later calls on it fail instead of blocking.
void OnConnectionBroken(Display*, void*) { NoteDisplayLost(); }

// The default handler prints Xlib's own message; the main loop says it once, in our words.
int QuietIOError(Display*) { return 0; }

}  // namespace

void WatchConnection(Display* display) {
    XSetIOErrorHandler(QuietIOError);
    XSetIOErrorExitHandler(display, OnConnectionBroken, nullptr);
}

void NoteDisplayLost() {
    if (g_DisplayLost.exchange(true)) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(g_DisplayLostFd, &one, sizeof one);
}

bool OsDisplayLost() { return g_DisplayLost.load(); }

int OsDisplayLostFd() { return g_DisplayLostFd; }
