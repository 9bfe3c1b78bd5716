#include "app/command_line.h"

#include "platform/control.h"
#include "update/update_check.h"

#include <cstdio>
#include <string_view>

namespace {
constexpr std::string_view kSelfTestOption = "--selftest-update=";
constexpr std::string_view kManifestOption = "--update-manifest=";

constexpr const char* kHelp =
    "usage: quillon [OPTION]\n"
    "Starts Quillon, an auto clicker, key spammer and macro recorder driven by global hotkeys,\n"
    "or sends a command to the Quillon that is running.\n"
    "\n"
    "Commands for the running Quillon (one, first and alone):\n"
    "  --toggle TOOL     start or stop a tool: clicker, keyspam, record or play\n"
    "  --start TOOL      start a tool\n"
    "  --stop TOOL       stop a tool\n"
    "  --status          print the tools' state as JSON\n"
    "  --settings        print the tools' settings as JSON\n"
    "  --profile N       make profile N (from 0) the active one\n"
    "Other options:\n"
    "  --update-manifest=SOURCE   check this manifest source for updates\n"
    "  --selftest-update=FILE     check the update rules against a vectors file and exit\n"
    "  --version         print the version and the commit it was built from\n"
    "  --help            print this help\n"
    "Other options beginning with \"--\" are ignored.\n"
    "\n"
    "Hotkeys (change them in the window): F6 auto clicker, F9 key spammer, F8 record,\n"
    "F7 play, F10 unlocks and locks the others.\n"
    "Data folder: $XDG_DATA_HOME/Quillon, else ~/.local/share/Quillon.\n"
    "\n"
    "Exit status: 0 when done; a command exits 1 when it was refused or given wrongly and 2\n"
    "when Quillon is not running; --selftest-update exits 1 when a check failed; Quillon\n"
    "exits 1 when it finds no X display or loses it.\n";

// The control options, which come first and alone; true when argv held one.
bool ScanControlOption(int argc, char** argv, CommandLine& result) {
    if (argc < 2) return false;
    const std::string_view option(argv[1]);
    const bool takesTool = option == "--toggle" || option == "--start" || option == "--stop";
    const bool takesIndex = option == "--profile";
    const bool alone = option == "--status" || option == "--settings";
    if (option == "--help") result.showHelp = true;
    if (option == "--version") result.showVersion = true;
    if (!takesTool && !takesIndex && !alone) return result.showHelp || result.showVersion;
    const int wanted = alone ? 2 : 3;
    if (argc != wanted) {
        result.usageError =
            std::string(option) + (alone ? " takes nothing after it" : " needs one argument");
        return true;
    }
    result.controlRequest = std::string(option.substr(2));
    if (!alone) result.controlRequest += std::string(" ") + argv[2];
    return true;
}

// Sends the control request to the running instance and prints its answer: 0 when it was
// done, 1 when refused, 2 when no instance runs.
int RunControlClient(const std::string& request) {
    std::string answer;
    switch (OsSendControlRequest(OsControlSocketPath(), request, answer)) {
        case ControlSendResult::kNoInstance:
            std::fprintf(stderr, "quillon: Quillon is not running\n");
            return 2;
        case ControlSendResult::kFailed:
            std::fprintf(stderr, "quillon: the running Quillon did not answer\n");
            return 1;
        case ControlSendResult::kAnswered:
            break;
    }
    std::printf("%s\n", answer.c_str());
    return answer.rfind("error", 0) == 0 ? 1 : 0;
}

}  // namespace

CommandLine ScanCommandLine(int argc, char** argv) {
    CommandLine result;
    if (ScanControlOption(argc, argv, result)) return result;
    if (argc > 1 && std::string_view(argv[1]) == "--child") result.childMode = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg.starts_with(kSelfTestOption)) {
            // The self-test ends the process; arguments after it are never looked at.
            result.runSelfTest = true;
            result.selfTestPath = std::string(arg.substr(kSelfTestOption.size()));
            return result;
        }
        if (arg.starts_with(kManifestOption)) {
            result.manifestOverride = std::string(arg.substr(kManifestOption.size()));
        }
    }
    return result;
}

std::optional<int> RunClientCommand(const CommandLine& commandLine) {
    if (commandLine.showHelp) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (commandLine.showVersion) {
        std::printf("Quillon %s\ncommit %s\n", kOwnVersion, QLN_BUILD_COMMIT);
        return 0;
    }
    if (!commandLine.usageError.empty()) {
        std::fprintf(stderr, "quillon: %s (see --help)\n", commandLine.usageError.c_str());
        return 1;
    }
    // Commands for the running instance: no lock taken, no window shown.
    if (!commandLine.controlRequest.empty()) return RunControlClient(commandLine.controlRequest);
    return std::nullopt;
}
