#include "tests/support/xvfb.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Xvfb writes the display number it chose to this descriptor once it is ready.
std::string ReadDisplayNumber(int fd) {
    std::string number;
    char c = 0;
    while (read(fd, &c, 1) == 1) {
        if (c == '\n') break;
        number.push_back(c);
    }
    return number;
}

// Starts Xvfb on one display number; true once it has said it is ready on it.
bool TryDisplay(int number, PrivateXvfb& server) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(pipeFds[0]);
        const std::string display = ":" + std::to_string(number);
        const std::string fd = std::to_string(pipeFds[1]);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 2);  // a taken number is expected now and then; no noise for it
        execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0",
               "1280x1024x24", "-nolisten", "tcp", "-noreset", "+extension", "XTEST", "+extension",
               "XInputExtension", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    const std::string said = ReadDisplayNumber(pipeFds[0]);
    close(pipeFds[0]);
    if (said != std::to_string(number)) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return false;
    }
    server.pid = pid;
    server.display = ":" + said;
    return true;
}

}  // namespace

bool StartPrivateXvfb(PrivateXvfb& server) {
    // Display numbers are picked per process, so test binaries started together never race
    // for the same one; a number in use is simply skipped.
    const int first = 200 + int(getpid() % 500) * 3;
    for (int attempt = 0; attempt < 60; ++attempt) {
        const int number = 200 + (first - 200 + attempt) % 1800;
        if (TryDisplay(number, server)) {
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

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
