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

MainLoopEnd OsRunUntilTerminated() {
    sigset_t set = TerminationSignals();
    const int signalFd = signalfd(-1, &set, SFD_CLOEXEC);
    if (signalFd < 0) return MainLoopEnd::kTerminated;
    MainLoopEnd end = MainLoopEnd::kTerminated;
    for (;;) {
        pollfd fds[3] = {
            {signalFd, POLLIN, 0}, {OsDisplayLostFd(), POLLIN, 0}, {OsLayoutWatchFd(), POLLIN, 0}};
        const nfds_t count = fds[2].fd >= 0 ? 3 : 2;
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        // A hang-up is read like any event: the read finds the connection broken.
        if (count == 3 && fds[2].revents) OsLayoutWatchDispatch();
        if (OsDisplayLost()) {
            end = MainLoopEnd::kDisplayLost;
            break;
        }
    }
    close(signalFd);
    return end;
}
