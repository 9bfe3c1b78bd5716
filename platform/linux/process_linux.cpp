// Process life on Linux: termination signals and the headless main loop.
#include "platform/keys.h"
#include "platform/shell.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace {
sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void OsBeginLatencyCriticalActivity() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

void OsBlockTerminationSignals() {
    signal(SIGXFSZ, SIG_IGN);
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void OsRunUntilTerminated() {
    sigset_t set = TerminationSignals();
    const int signalFd = signalfd(-1, &set, SFD_CLOEXEC);
    if (signalFd < 0) return;
    bool layoutAlive = OsLayoutWatchFd() >= 0;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {OsLayoutWatchFd(), POLLIN, 0}};
        const nfds_t count = layoutAlive && fds[1].fd >= 0 ? 2 : 1;
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (count < 2) continue;
        // A lost display leaves the names as they were; Xlib must not touch a dead connection.
        if (fds[1].revents & (POLLHUP | POLLERR)) {
            layoutAlive = false;
        } else if (fds[1].revents & POLLIN) {
            OsLayoutWatchDispatch();
        }
    }
    close(signalFd);
}
