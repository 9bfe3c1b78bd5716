// Facts about the running program: where its files are, which bundle it is, which WebKitGTK it
// runs on.
#include "platform/linux/shell_files.h"
#include "platform/process.h"
#include "platform/window_shell.h"

#include <dlfcn.h>
#include <sys/stat.h>

bool OsWebKitVersion(int& major, int& minor) {
    // WebKitGTK is loaded with the web view library; its headers are not needed for two numbers.
    using VersionPart = unsigned (*)();
    auto majorOf = reinterpret_cast<VersionPart>(dlsym(RTLD_DEFAULT, "webkit_get_major_version"));
    auto minorOf = reinterpret_cast<VersionPart>(dlsym(RTLD_DEFAULT, "webkit_get_minor_version"));
    if (!majorOf || !minorOf) return false;
    major = int(majorOf());
    minor = int(minorOf());
    return true;
}

std::string OsResourceDir() {
    const std::string exe = RunningExecutable();
    const size_t bin = exe.rfind('/');
    const size_t root =
        bin == std::string::npos || bin == 0 ? std::string::npos : exe.rfind('/', bin - 1);
    if (root == std::string::npos) return ".";
    const std::string dir = exe.substr(0, root) + "/share/quillon";
    struct stat info;
    return stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? dir : ".";
}

std::string OsBundleIdentifier() {
    static const std::string identifier = OsBundleIdentifierFromExe(RunningExecutable());
    return identifier;
}

std::string OsOwnBundlePath() {
    const std::string root = ParentOf(ParentOf(RunningExecutable()));
    struct stat info;
    if (root.empty() || stat((root + "/bundle.ini").c_str(), &info) != 0) return {};
    return root;
}
