#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Starts Xvfb on one display number; true once it has said, through -displayfd, that it is
// ready on that number.
bool TryDisplay(int number, PrivateXvfb& server, const std::vector<std::string>& extraArgs) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string display = ":" + std::to_string(number), fd = std::to_string(fds[1]);
    const pid_t pid = fork();
    if (pid == 0) {
        // Gone with the test binary even when it crashes; its clients (the probe window, the
        // program) then lose their display and end too, instead of holding the test's output.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        dup2(open("/dev/null", O_WRONLY), 2);  // a taken number is expected now and then
        std::vector<std::string> args = {
            "Xvfb",         display,          "-displayfd", fd,         "-screen",    "0",
            "1280x1024x24", "-nolisten",      "tcp",        "-noreset", "+extension", "XTEST",
            "+extension",   "XInputExtension"};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        ExecChild(args);
    }
    close(fds[1]);
    std::string said;
    for (char c = 0; read(fds[0], &c, 1) == 1 && c != '\n';) said.push_back(c);
    close(fds[0]);
    PrivateXvfb started{pid, display};
    if (said == std::to_string(number)) {
        server = started;
        return true;
    }
    StopPrivateXvfb(started);
    return false;
}

}  // namespace

bool StartPrivateXvfb(PrivateXvfb& server, const std::vector<std::string>& extraArgs) {
    // Display numbers are picked per process, so test binaries started together never race
    // for the same one; a number in use is simply skipped.
    const int first = int(getpid() % 500) * 3;
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (TryDisplay(200 + (first + attempt) % 1800, server, extraArgs)) {
            setenv("DISPLAY", server.display.c_str(), 1);
            return true;
        }
    }
    std::fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");
    return false;
}

void StopPrivateXvfb(PrivateXvfb& server) {
    if (server.pid <= 0) return;
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
}

void ExecChild(std::vector<std::string> args) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
