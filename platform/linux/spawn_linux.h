#pragma once

// Starting other programs with the signal handling a fresh program expects.

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>

#include <initializer_list>

extern char** environ;

// The program blocks SIGINT and SIGTERM and ignores SIGXFSZ; what it starts must not inherit
// that.
struct PlainSignals {
    posix_spawnattr_t attr;
    PlainSignals() {
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int signal : {SIGINT, SIGTERM, SIGXFSZ, SIGPIPE}) sigaddset(&defaults, signal);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~PlainSignals() { posix_spawnattr_destroy(&attr); }
    PlainSignals(const PlainSignals&) = delete;
    PlainSignals& operator=(const PlainSignals&) = delete;
};

// A thread of its own collects the child, whatever the UI does.
void ReapWhenDone(pid_t pid);
