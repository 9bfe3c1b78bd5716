#include "tests/support/program.h"

#include "tests/support/files.h"
#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

pid_t SpawnProgram(const std::string& binary, const std::vector<std::string>& args,
                   const ProgramEnv& env) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(open((env.home + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open((env.home + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    setenv("XDG_DATA_HOME", (env.home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (env.home + "/config").c_str(), 1);
    // The program's update check must not leave the machine: a closed loopback port.
    setenv("QLN_TEST_CONNECT_TO", "quillon.app:443:127.0.0.1:9", 1);
    for (const auto& [name, value] : env.extra) {
        if (value.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::vector<std::string> argv{binary};
    argv.insert(argv.end(), args.begin(), args.end());
    ExecChild(argv);
}

int WaitProgramExit(pid_t pid, int timeoutMs) {
    int status = 0;
    if (WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

std::string ProgramDataDir(const ProgramEnv& env) { return env.home + "/data/Quillon"; }

std::string MakeTestBundle(const std::string& builtBinary, const std::string& folder,
                           const std::string& mainPage, const std::string& bootPage,
                           const std::optional<std::string>& sortable) {
    namespace fs = std::filesystem;
    const fs::path bundle = fs::path(folder) / "bundle";
    const fs::path built = fs::path(builtBinary).parent_path().parent_path();
    const fs::path share = bundle / "share/quillon";
    for (const char* dir : {"bin", "lib", "share/quillon/ui/vendor", "share/quillon/mac-ui"})
        fs::create_directories(bundle / dir);
    const auto copy = fs::copy_options::overwrite_existing;
    fs::copy_file(builtBinary, bundle / "bin/quillon", copy);
    // The program library and the web view: linked where the file system allows, as they are big.
    for (const fs::directory_entry& library : fs::directory_iterator(built / "lib")) {
        const fs::path target = bundle / "lib" / library.path().filename();
        fs::remove(target);
        std::error_code linkError;
        fs::create_hard_link(library.path(), target, linkError);
        if (linkError) fs::copy_file(library.path(), target, copy);
    }
    if (sortable) {
        std::ofstream(share / "ui/vendor/Sortable.min.js") << *sortable;
    } else {
        fs::copy_file(built / "share/quillon/ui/vendor/Sortable.min.js",
                      share / "ui/vendor/Sortable.min.js", copy);
    }
    std::ofstream(bundle / "bundle.ini") << "identifier=app.quillon.free\nversion=1.0.1\n";
    std::ofstream(share / "ui/index.html") << mainPage;
    std::ofstream(share / "mac-ui/boot.html") << bootPage;
    return (bundle / "bin/quillon").string();
}

std::string InstallFakeXdgOpen(const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path bin = fs::path(folder) / "bin", opened = fs::path(folder) / "opened.txt";
    fs::create_directories(bin);
    std::ofstream(bin / "xdg-open")
        << "#!/bin/sh\nprintf '%s\\t%s\\t%s\\n' \"$*\" \"$#\" \"$$\" >> '" << opened.string()
        << "'\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + getenv("PATH")).c_str(), 1);
    return opened.string();
}

std::set<std::string> PageReports(const ProgramEnv& env) {
    std::istringstream in(Slurp(ProgramDataDir(env) + "/appsettings.txt"));
    std::set<std::string> ids;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("seenWarnings=", 0) != 0) continue;
        std::istringstream list(line.substr(13));
        for (std::string id; std::getline(list, id, ',');) ids.insert(id);
    }
    return ids;
}
