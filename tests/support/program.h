#pragma once

// The built program as a user starts it: a child process with its own data and config folders,
// its output kept in files for the test to read.

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct ProgramEnv {
    std::string home;  // XDG_DATA_HOME is home/data, XDG_CONFIG_HOME home/config
    std::vector<std::pair<std::string, std::string>> extra;  // more variables; empty value unsets
};

// Starts binary with args; stdout and stderr go to home/out.txt and home/err.txt.
pid_t SpawnProgram(const std::string& binary, const std::vector<std::string>& args,
                   const ProgramEnv& env);
// Exit status; -2 when it ended by a signal; -1 when it did not end in time (then it is killed).
int WaitProgramExit(pid_t pid, int timeoutMs = 20000);
// The program's folder of data files (home/data/Quillon).
std::string ProgramDataDir(const ProgramEnv& env);

// An installed folder of the program under `folder`: bin/quillon and lib/ copied from the build
// tree of `builtBinary`, bundle.ini, and share/quillon with the given pages. The sortable-list
// script is the given text, or the build's own when none is given. Returns the program's path.
std::string MakeTestBundle(const std::string& builtBinary, const std::string& folder,
                           const std::string& mainPage, const std::string& bootPage,
                           const std::optional<std::string>& sortable = std::nullopt);
// Puts a stand-in xdg-open first on PATH: each call appends a line to `folder`/opened.txt with
// its arguments, their number and its process id, tab-separated. Returns that file's path.
std::string InstallFakeXdgOpen(const std::string& folder);
// What a page reported through markWarningSeen: the ids in the program's appsettings.txt.
std::set<std::string> PageReports(const ProgramEnv& env);
