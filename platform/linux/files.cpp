#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

}  // namespace

bool OsAtomicFileBegin(OsAtomicFile& file, const std::string& path, unsigned mode) {
    file = OsAtomicFile{};
    file.path = path;
    file.tempPath = path + ".tmp";
    file.fd = open(file.tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                   static_cast<mode_t>(mode));
    if (file.fd < 0) return false;
    // A temporary left by an earlier crash may carry other permissions.
    fchmod(file.fd, static_cast<mode_t>(mode));
    return true;
}

bool OsAtomicFileWrite(OsAtomicFile& file, std::string_view data) {
    if (file.fd < 0 || file.failed) return false;
    while (!data.empty()) {
        const ssize_t n = write(file.fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            file.failed = true;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void OsAtomicFileAbandon(OsAtomicFile& file) {
    if (file.fd >= 0) {
        close(file.fd);
        unlink(file.tempPath.c_str());
    }
    file.fd = -1;
}

bool OsAtomicFileCommit(OsAtomicFile& file) {
    if (file.fd < 0) return false;
    if (file.failed || (file.durable && fsync(file.fd) != 0)) {
        OsAtomicFileAbandon(file);
        return false;
    }
    const int fd = file.fd;
    file.fd = -1;
    if (close(fd) != 0 || rename(file.tempPath.c_str(), file.path.c_str()) != 0) {
        unlink(file.tempPath.c_str());
        return false;
    }
    // The rename is durable only once the folder is; the new content is in place either way.
    if (file.durable) SyncFolder(FolderOf(file.path));
    return true;
}

bool OsWriteFileAtomic(const std::string& path, std::string_view content, unsigned mode) {
    OsAtomicFile file;
    if (!OsAtomicFileBegin(file, path, mode)) return false;
    OsAtomicFileWrite(file, content);
    return OsAtomicFileCommit(file);
}

bool OsWriteFileAtomicQuick(const std::string& path, std::string_view content, unsigned mode) {
    OsAtomicFile file;
    if (!OsAtomicFileBegin(file, path, mode)) return false;
    file.durable = false;
    OsAtomicFileWrite(file, content);
    return OsAtomicFileCommit(file);
}

bool OsRemoveFileDurably(const std::string& path) {
    if (unlink(path.c_str()) != 0) return errno == ENOENT;
    SyncFolder(FolderOf(path));
    return true;
}

bool OsMakeDirs(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = FolderOf(path);
    if (parent != path && parent != "." && parent != "/") OsMakeDirs(parent, mode);
    if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return true;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool OsExchangePaths(const std::string& a, const std::string& b) {
    return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}
