// Process life on Linux: termination signals and timer precision.
#include "platform/shell.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {
const int g_TerminationFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

void NoteTerminationRequest(int) {
    const int saved = errno;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(g_TerminationFd, &one, sizeof one);
    errno = saved;
}

sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void OsBeginLatencyCriticalActivity() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

int OsTerminationRequestFd() { return g_TerminationFd; }

void OsBlockTerminationSignals() {
    signal(SIGXFSZ, SIG_IGN);
    // Libraries start threads of their own before main, with nothing blocked, and the kernel
    // may hand the signal to any of them: a handler turns it into a quit request wherever it
    // lands. Our own threads block it and never see it.
    struct sigaction action = {};
    action.sa_handler = NoteTerminationRequest;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}
