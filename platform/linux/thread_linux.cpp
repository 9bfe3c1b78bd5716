#include "platform/thread.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void OsNameThread(const char* name) { pthread_setname_np(pthread_self(), name); }

void OsRaiseToUserInteractive() {
    // Timer slack of 1 ns keeps interval wake-ups punctual; a higher priority is taken only
    // where the system allows it, and its refusal changes nothing.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const id_t threadId = static_cast<id_t>(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, threadId) > -5) setpriority(PRIO_PROCESS, threadId, -5);
}
