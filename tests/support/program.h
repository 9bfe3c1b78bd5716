#pragma once

// The built program as a user starts it: a child process with its own data and config folders,
// its output kept in files for the test to read.

#include <sys/types.h>

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
