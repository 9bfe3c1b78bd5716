#pragma once

// Temporary folders, files and child processes for the update tests.

#include "tests/support/files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace UpdateTest {

// A private folder under the system's temporary one, removed with its contents.
struct TempDir {
    std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qln-update-XXXXXX");
        return std::string(mkdtemp(pattern.data()) ? pattern : "/nonexistent");
    }();
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct ProcessResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs argv[0] (searched in PATH) without a shell. Its output goes to files, so that no pipe
// can fill up and block it.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
    const TempDir capture;
    const std::string out = capture.File("out"), err = capture.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) return {-1, "", "cannot run " + argv[0]};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(out),
            Slurp(err)};
}

}  // namespace UpdateTest
