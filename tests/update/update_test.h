#pragma once

// Temporary folders, files and child processes for the update tests.

#include "tests/support/files.h"

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

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

// Runs argv[0] (searched in PATH) with its arguments quoted for the shell. Its output goes to
// files, so that no pipe can fill up and block it; a signal's death is 128 + the signal.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
    const TempDir capture;
    std::string command = "exec";
    for (const std::string& arg : argv)
        command += " '" + std::regex_replace(arg, std::regex("'"), "'\\''") + "'";
    const int status =
        std::system((command + " >" + capture.File("out") + " 2>" + capture.File("err")).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            Slurp(capture.File("out")), Slurp(capture.File("err"))};
}

// Runs a shell command; the first line of its output. A failure is told on stderr.
inline std::string Shell(const std::string& command) {
    const ProcessResult result = RunProcess({"/bin/sh", "-c", command});
    if (result.exitCode != 0)
        std::fprintf(stderr, "failed: %s\n%s", command.c_str(), result.err.c_str());
    return result.out.substr(0, result.out.find('\n'));
}

}  // namespace UpdateTest
