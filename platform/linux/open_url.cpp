// Links opened in the desktop's browser through xdg-open, and the help pages that stand in for
// the permission panes other systems have.
#include "platform/linux/spawn_linux.h"
#include "platform/window_shell.h"

#include <cctype>

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
