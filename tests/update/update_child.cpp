// The program side of the update tests, built with the updater's own code and copied into test
// bundles as their bin/quillon:
//   (no arguments)          a start of the bundle: removes leftovers, then appends its
//                           bundle's version to $QLN_TEST_MARKER
//   flow LOG                runs the install flow as the page's startUpdate does, with the
//                           manifest $QLN_TEST_MANIFEST; page scripts, the result and the
//                           quit go to LOG
//   install STAGED STEP     swaps in a staged bundle and dies at STEP (1 before the swap, 2
//                           halfway, 3 after; 0 never)
#include "platform/process.h"
#include "state/window_state.h"
#include "update/install.h"
#include "update/install_flow.h"
#include "update/stage.h"
#include "update/update_check.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

int g_DieAtStep = -1;
std::string g_Log;

void Log(const std::string& line) { std::ofstream(g_Log, std::ios::app) << line << "\n"; }

int Flow(const std::string& log) {
    g_Log = log;
    if (const char* manifest = std::getenv("QLN_TEST_MANIFEST"))
        g_UpdateManifestOverride = manifest;
    g_MasterEvalFn = Log;
    g_MasterDispatchFn = [](std::function<void()> task) { task(); };
    g_MasterQuitFn = [] {
        Log("quit");
        std::exit(0);
    };
    updateInstallRunning = true;
    RunUpdateInstallFlow([](const std::string& message) { Log("result " + message); });
    Log(updateInstallRunning ? "still running" : "ended");
    return 0;
}

}  // namespace

void QlnInstallStepSeam(int step) {
    if (step == g_DieAtStep) std::raise(SIGKILL);
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode.empty()) {
        CleanupUpdateTempFiles();
        if (const char* marker = std::getenv("QLN_TEST_MARKER"))
            std::ofstream(marker, std::ios::app)
                << ReadBundleValue(OsOwnBundlePath(), "version") << "\n";
        return 0;
    }
    if (mode == "flow" && argc == 3) return Flow(argv[2]);
    if (mode == "install" && argc == 4) {
        g_DieAtStep = std::atoi(argv[3]);
        return InstallStagedUpdate(argv[2]).empty() ? 0 : 1;
    }
    return 2;
}
