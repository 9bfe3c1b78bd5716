#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

// A private Xvfb for one test binary or benchmark; never the user's display.
struct PrivateXvfb {
    pid_t pid = -1;
    std::string display;  // ":N"
};

// Starts Xvfb on a free display number, waits until it accepts connections and points
// DISPLAY at it. Returns false (with the reason on stderr) when it cannot start.
// extraArgs come last, so "-extension", "XTEST" takes XTEST away.
bool StartPrivateXvfb(PrivateXvfb& server, const std::vector<std::string>& extraArgs = {});
void StopPrivateXvfb(PrivateXvfb& server);

// Runs a command to completion with DISPLAY set; returns its exit status (-1 if it failed).
int RunCommand(const std::string& command);
// In a forked child: becomes args[0] (searched on PATH unless it is a path) with nothing blocked,
// so that it can be stopped even when the test blocks termination signals; exits with 127 when
// it cannot.
[[noreturn]] void ExecChild(std::vector<std::string> args);
