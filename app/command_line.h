#pragma once

#include <optional>
#include <string>

// What the command line asks for, scanned before anything else starts.
struct CommandLine {
    bool childMode = false;    // "--child": ends at once
    bool runSelfTest = false;  // "--selftest-update=": runs the update self-test and ends
    std::string selfTestPath;
    std::string controlRequest;  // a command for the running instance ("toggle clicker", ...)
    bool showHelp = false;
    bool showVersion = false;
    std::string usageError;        // a control option given wrongly
    std::string manifestOverride;  // "--update-manifest=": where the update check looks
};

CommandLine ScanCommandLine(int argc, char** argv);
// Help, version, a usage error or a command for the running instance: handles it and gives the
// exit status. Nothing when the command line starts the program itself.
std::optional<int> RunClientCommand(const CommandLine& commandLine);
