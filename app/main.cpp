#include "app/command_line.h"
#include "platform/program_library.h"

// The launcher: help, version and commands for a running instance are answered here, with
// nothing but the C++ runtime loaded; everything else starts the program from its library.
int main(int argc, char** argv) {
    const CommandLine commandLine = ScanCommandLine(argc, argv);
    if (const std::optional<int> status = RunClientCommand(commandLine)) return *status;
    return OsRunProgramLibrary(argc, argv);
}
