#include "tests/support/probe.h"

#include "tests/support/files.h"
#include "tests/support/wait.h"
#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

bool StartProbe(Probe& probe, const std::string& binary, int x, int y, int width, int height) {
    static int started = 0;
    probe.log = (std::filesystem::temp_directory_path() /
                 ("qln-probe-" + std::to_string(getpid()) + "-" + std::to_string(++started)))
                    .string();
    probe.pid = fork();
    if (probe.pid == 0) {
        // Appending, so that a log cut by ClearProbe goes on from its start.
        dup2(open(probe.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600), 1);
        ExecChild({binary, std::to_string(x), std::to_string(y), std::to_string(width),
                   std::to_string(height)});
    }
    if (!WaitUntil([&] { return ProbeCount(probe, "Ready") > 0; }, 10000)) return false;
    ClearProbe(probe);
    return true;
}

void StopProbe(Probe& probe) {
    if (probe.pid > 0) {
        kill(probe.pid, SIGTERM);
        waitpid(probe.pid, nullptr, 0);
        unlink(probe.log.c_str());
    }
    probe.pid = -1;
}

std::vector<std::string> ProbeLines(const Probe& probe) {
    std::istringstream text(Slurp(probe.log));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line) && !text.eof();) lines.push_back(line);
    return lines;
}

long ProbeCount(const Probe& probe, const std::string& line) {
    const auto lines = ProbeLines(probe);
    return std::count(lines.begin(), lines.end(), line);
}

void ClearProbe(const Probe& probe) {
    std::error_code ignored;
    std::filesystem::resize_file(probe.log, 0, ignored);
}
