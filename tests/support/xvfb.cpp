#include "tests/support/xvfb.h"

#include <X11/Xlib.h>

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

}  // namespace

bool StartPrivateXvfb(PrivateXvfb& server) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", "-noreset", "+extension", "XTEST", "+extension",
               "XInputExtension", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    const std::string number = ReadDisplayNumber(pipeFds[0]);
    close(pipeFds[0]);
    if (number.empty()) {
        std::fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return false;
    }
    server.pid = pid;
    server.display = ":" + number;
    setenv("DISPLAY", server.display.c_str(), 1);
    return true;
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
