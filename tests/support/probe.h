#pragma once

// Runs qln_probe_window as a child process and collects the lines it prints.

#include <sys/types.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Probe {
    pid_t pid = -1;
    int readFd = -1;
    std::thread reader;
    std::mutex mutex;
    std::vector<std::string> lines;  // guarded by mutex
};

// Starts the probe window at the given place and waits until it has the focus.
bool StartProbe(Probe& probe, const std::string& binary, int x, int y, int width, int height);
void StopProbe(Probe& probe);
std::vector<std::string> ProbeLines(Probe& probe);
void ClearProbe(Probe& probe);
