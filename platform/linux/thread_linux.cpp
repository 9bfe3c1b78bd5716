#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

void OsNameThread(const char* name) { pthread_setname_np(pthread_self(), name); }

namespace {

// A short time slice asks the scheduler (Linux 6.12 and later, no privilege needed) to run the
// thread soon after it wakes even when busy processes fill every core; older kernels refuse
// it, which changes nothing.
void AskForShortSlices() {
    // The kernel's struct sched_attr; its header clashes with the C library's.
    struct {
        uint32_t size;
        uint32_t sched_policy;
        uint64_t sched_flags;
        int32_t sched_nice;
        uint32_t sched_priority;
        uint64_t sched_runtime;
        uint64_t sched_deadline;
        uint64_t sched_period;
    } attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_runtime = 100000;  // ns, the shortest slice the kernel takes
    syscall(SYS_sched_setattr, 0, &attr, 0U);
}

// A low real-time priority where the system grants one (RLIMIT_RTPRIO, or the right to change
// priorities): a thread that sleeps between short bursts of work then runs the moment it wakes,
// however many busy processes share the cores. The kernel still keeps a share of every second
// for ordinary threads, so a fault in one of ours cannot freeze the desktop.
bool TakeRealTimePriority() {
    sched_param param{};
    param.sched_priority = 5;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace

void OsRaiseToUserInteractive() {
    // Timer slack of 1 ns keeps interval wake-ups punctual; a higher priority is taken only
    // where the system allows it, and its refusal changes nothing.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (TakeRealTimePriority()) return;
    AskForShortSlices();
    const id_t threadId = static_cast<id_t>(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, threadId) > -5) setpriority(PRIO_PROCESS, threadId, -5);
}
