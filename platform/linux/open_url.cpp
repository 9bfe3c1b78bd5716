// Links opened in the desktop's browser through xdg-open, and the help pages that stand in for
// the permission panes other systems have.
#include "platform/window_shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <thread>

extern char** environ;

namespace {

constexpr const char* kDocs = "https://quillon.app/docs.html";

bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// scheme ":" rest: a letter first (so nothing reads as an option of xdg-open), something after
// the colon, and no control characters anywhere.
bool IsAbsoluteUrl(const std::string& url) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == url.size()) return false;
    if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        if (!IsSchemeChar(url[i])) return false;
    }
    for (unsigned char c : url) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// The program blocks SIGINT and SIGTERM and ignores SIGXFSZ; the browser it starts must not
// inherit that.
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

// xdg-open may wait for the browser; a thread of its own collects it, whatever the UI does.
void ReapWhenDone(pid_t pid) {
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace

void OsOpenUrl(const std::string& url) {
    if (!IsAbsoluteUrl(url)) return;
    std::string argument = url;
    char program[] = "xdg-open";
    char* argv[] = {program, argument.data(), nullptr};
    PlainSignals signals;
    pid_t pid = -1;
    if (posix_spawnp(&pid, program, nullptr, &signals.attr, argv, environ) == 0) ReapWhenDone(pid);
}

void OsOpenPrivacyPane(const std::string& name) {
    OsOpenUrl(std::string(kDocs) + (name == "input" ? "#input-monitoring" : "#accessibility"));
}

void OsOpenSoftwareUpdate() { OsOpenUrl(std::string(kDocs) + "#webkitgtk"); }
