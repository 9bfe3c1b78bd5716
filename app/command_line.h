#pragma once

#include <string>

// What the command line asks for, scanned before anything else starts.
struct CommandLine {
    bool childMode = false;    // "--child": ends at once
    bool runSelfTest = false;  // "--selftest-update=": runs the update self-test and ends
    std::string selfTestPath;
};

CommandLine ScanCommandLine(int argc, char** argv);
// Runs the update self-test, prints its report and verdict; returns the exit status.
int RunSelfTestAndReport(const std::string& vectorsPath);
