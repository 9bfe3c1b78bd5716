#include "platform/linux/shell_files.h"

#include "platform/files.h"
#include "platform/shell.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Quotes one argument of a desktop entry's Exec key: the argument quoting first, then the
// escaping every string value gets, and a literal percent sign doubled.
std::string QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    std::string value;
    for (char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else if (c == '\n') {
            value += "\\n";
        } else {
            value.push_back(c);
        }
    }
    return value;
}

std::mutex g_LockMutex;
bool g_LockHeld = false;
int g_LockFd = -1;

}  // namespace

std::string OsInstanceLockPath() { return OsDataDir() + "/instance.lock"; }

bool OsAcquireSingleInstanceLock() {
    std::lock_guard<std::mutex> guard(g_LockMutex);
    if (g_LockHeld) return true;
    const int fd = open(OsInstanceLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // Without a lock file there is nothing to share; go on as the single instance.
    if (fd < 0) return true;
    // A record lock, so that a second instance can ask who holds it. Nothing else in this
    // process may open and close this file: closing any descriptor of it drops the lock.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &lock) != 0) {
        close(fd);
        return false;
    }
    g_LockFd = fd;
    g_LockHeld = true;
    return true;
}

int OsInstanceLockHolderPid() {
    const int fd = open(OsInstanceLockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct flock query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    int pid = 0;
    if (fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK) pid = query.l_pid;
    close(fd);
    return pid > 0 ? pid : 0;
}

std::string OsAutostartEntryPath(const std::string& bundleId) {
    return XdgDir("XDG_CONFIG_HOME", ".config") + "/autostart/" + bundleId + ".desktop";
}

std::string OsAutostartEntryText(const std::string& exePath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillon\n"
           "Comment=Input automation\n"
           "Exec=" +
           QuoteExecArgument(exePath) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool OsWriteAutostartEntry(const std::string& entryPath, const std::string& exePath, bool enabled) {
    if (!enabled) return OsRemoveFileDurably(entryPath);
    const std::string text = OsAutostartEntryText(exePath);
    if (FileText(entryPath) == text) return true;
    if (!OsMakeDirs(ParentOf(entryPath), 0700)) return false;
    return OsWriteFileAtomic(entryPath, text, 0644);
}

std::string OsBundleIdentifierFromExe(const std::string& exePath) {
    const std::string root = ParentOf(ParentOf(exePath));
    std::ifstream in(root + "/bundle.ini");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("identifier=", 0) == 0) return line.substr(11);
    }
    return {};
}

void OsApplyLaunchAtLogin(bool enabled) {
    const std::string exe = RunningExecutable();
    const std::string bundleId = OsBundleIdentifierFromExe(exe);
    // Outside an installed bundle there is nothing stable to start at login.
    if (exe.empty() || bundleId.empty() || bundleId.find('/') != std::string::npos) return;
    OsWriteAutostartEntry(OsAutostartEntryPath(bundleId), exe, enabled);
}

void PlatformApplyLaunchOnStartup(bool enabled) { OsApplyLaunchAtLogin(enabled); }
