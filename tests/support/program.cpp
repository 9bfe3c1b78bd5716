#include "tests/support/program.h"

#include "tests/support/wait.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

pid_t SpawnProgram(const std::string& binary, const std::vector<std::string>& args,
                   const ProgramEnv& env) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(open((env.home + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open((env.home + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    setenv("XDG_DATA_HOME", (env.home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (env.home + "/config").c_str(), 1);
    for (const auto& [name, value] : env.extra) {
        if (value.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::vector<std::string> argvText{binary};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
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
