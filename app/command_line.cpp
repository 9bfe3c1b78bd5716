#include "app/command_line.h"

#include "state/window_state.h"
#include "update/selftest.h"

#include <cstdio>
#include <string_view>

namespace {
constexpr std::string_view kSelfTestOption = "--selftest-update=";
constexpr std::string_view kManifestOption = "--update-manifest=";
}  // namespace

CommandLine ScanCommandLine(int argc, char** argv) {
    CommandLine result;
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
            g_UpdateManifestOverride = std::string(arg.substr(kManifestOption.size()));
        }
    }
    return result;
}

int RunSelfTestAndReport(const std::string& vectorsPath) {
    std::string report;
    const bool passed = RunUpdateSelfTest(vectorsPath, report);
    std::printf("%s", report.c_str());
    std::printf("%s", passed ? "SELFTEST-UPDATE: ALL PASS\n" : "SELFTEST-UPDATE: FAILURES ABOVE\n");
    std::fflush(stdout);
    return passed ? 0 : 1;
}
