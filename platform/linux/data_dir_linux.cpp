#include "platform/files.h"
#include "platform/linux/shell_files.h"
#include "platform/shell.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>

namespace {

std::string HomeDir() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/tmp";
}

std::string ComputeDataDir() {
    const std::string dir = XdgDir("XDG_DATA_HOME", ".local/share") + "/Quillon";
    OsMakeDirs(dir, 0700);
    chmod(dir.c_str(), 0700);
    return dir;
}

}  // namespace

// An XDG base variable counts only when it holds an absolute path.
std::string XdgDir(const char* variable, const char* fallbackBelowHome) {
    const char* value = getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    return HomeDir() + "/" + fallbackBelowHome;
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string RunningExecutable() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string OsDataDir() {
    static const std::string dir = ComputeDataDir();
    return dir;
}
