#pragma once

// Runs qln_probe_window as a child process; it prints every key and button event it gets into
// a log file of its own, which the test reads.

#include <sys/types.h>
#include <string>
#include <vector>

struct Probe {
    pid_t pid = -1;
    std::string log;
};

// Starts the probe window at the given place and waits until it has the focus.
bool StartProbe(Probe& probe, const std::string& binary, int x, int y, int width, int height);
void StopProbe(Probe& probe);
std::vector<std::string> ProbeLines(const Probe& probe);
void ClearProbe(const Probe& probe);
// How often the probe logged exactly this line.
long ProbeCount(const Probe& probe, const std::string& line);
