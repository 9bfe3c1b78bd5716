#include "platform/linux/spawn_linux.h"
#include "platform/process.h"

#include <sys/wait.h>

#include <cerrno>
#include <thread>

void ReapWhenDone(pid_t pid) {
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

bool OsSpawnDetached(const std::vector<std::string>& args) {
    if (args.empty()) return false;
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    PlainSignals signals;
    short flags = 0;
    posix_spawnattr_getflags(&signals.attr, &flags);
    posix_spawnattr_setflags(&signals.attr, static_cast<short>(flags | POSIX_SPAWN_SETSID));
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, &signals.attr, argv.data(), environ) != 0) return false;
    ReapWhenDone(pid);
    return true;
}
