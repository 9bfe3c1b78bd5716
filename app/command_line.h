#pragma once

#include <string>

// What the command line asks for, scanned before anything else starts.
struct CommandLine {
    bool childMode = false;    // "--child": ends at once
    bool runSelfTest = false;  // "--selftest-update=": runs the update self-test and ends
    std::string selfTestPath;
    std::string controlRequest;  // a command for the running instance ("toggle clicker", ...)
    bool showHelp = false;
    bool showVersion = false;
    std::string usageError;  // a control option given wrongly
};

CommandLine ScanCommandLine(int argc, char** argv);
// Runs the update self-test, prints its report and verdict; returns the exit status.
int RunSelfTestAndReport(const std::string& vectorsPath);
// Sends the control request to the running instance and prints its answer: 0 when it was
// done, 1 when refused, 2 when no instance runs.
int RunControlClient(const std::string& request);
void PrintHelp();
void PrintVersion();
