#pragma once

// The swap of the installed bundle for a staged one, and the hand-over to the new version.

#include <string>

// Swaps with two renames and starts the relaunch script; empty on success, else the page's
// sentence (the installed bundle is then back in place). The UI thread runs it.
std::string InstallStagedUpdate(const std::string& stagedBundle);

// Hooks for tests that end the process between the steps of the swap; absent from the
// program.
void QlnInstallStepSeam(int step) __attribute__((weak));
