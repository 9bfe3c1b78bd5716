#include "tests/support/probe.h"

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>

namespace {
void ReadLines(Probe* probe) {
    std::string pending;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(probe->readFd, buffer, sizeof buffer);
        if (n <= 0) return;
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::lock_guard<std::mutex> lock(probe->mutex);
            probe->lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
}
}  // namespace

bool StartProbe(Probe& probe, const std::string& binary, int x, int y, int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    probe.pid = fork();
    if (probe.pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        const std::string args[4] = {std::to_string(x), std::to_string(y), std::to_string(width),
                                     std::to_string(height)};
        execl(binary.c_str(), binary.c_str(), args[0].c_str(), args[1].c_str(), args[2].c_str(),
              args[3].c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    probe.readFd = fds[0];
    probe.reader = std::thread(ReadLines, &probe);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        for (const auto& line : ProbeLines(probe)) {
            if (line == "Ready") {
                ClearProbe(probe);
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void StopProbe(Probe& probe) {
    if (probe.pid > 0) {
        kill(probe.pid, SIGTERM);
        waitpid(probe.pid, nullptr, 0);
        probe.pid = -1;
    }
    if (probe.reader.joinable()) probe.reader.join();
    if (probe.readFd >= 0) close(probe.readFd);
    probe.readFd = -1;
}

std::vector<std::string> ProbeLines(Probe& probe) {
    std::lock_guard<std::mutex> lock(probe.mutex);
    return probe.lines;
}

void ClearProbe(Probe& probe) {
    std::lock_guard<std::mutex> lock(probe.mutex);
    probe.lines.clear();
}
