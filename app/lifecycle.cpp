#include "app/lifecycle.h"

#include "app/command_line.h"
#include "app/main_window.h"
#include "bridge/control_commands.h"
#include "bridge/pages.h"
#include "engine/workers.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/tap.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "store/app_settings.h"
#include "store/profiles.h"
#include "store/status_writer.h"
#include "update/selftest.h"
#include "update/update_check.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::atomic<bool> g_ShutDownDone{false};

void CancelUpdateInstall() {
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    g_UpdateInstallCancel.store(true);
}

void LoadSessionAndSettings() {
    g_SessionStateFilePath = OsDataDir() + "/session.dat";
    if (!LoadSessionState()) {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.push_back(MacroProfile{kDefaultProfileName, "", {}});
    }
    EnsureDefaultProfileExists();
    LoadAppSettings();
    PlatformApplyLaunchOnStartup(g_LaunchOnStartup.load());
}

void StartWorkers() {
    StartToolThreads();
    g_Threads.emplace_back(SessionAutosaveThread);
    if (!StartControlServer()) {
        std::fprintf(stderr, "quillon: the control socket %s could not be opened\n",
                     OsControlSocketPath().c_str());
    }
}

// Runs the update self-test, prints its report and verdict; returns the exit status.
int RunSelfTestAndReport(const std::string& vectorsPath) {
    std::string report;
    const bool passed = RunUpdateSelfTest(vectorsPath, report);
    std::printf("%s", report.c_str());
    std::printf("%s", passed ? "SELFTEST-UPDATE: ALL PASS\n" : "SELFTEST-UPDATE: FAILURES ABOVE\n");
    std::fflush(stdout);
    return passed ? 0 : 1;
}

void InstallWindowHooks(OsWindow* window) {
    OsInstallLifecycleHooks(window, SaveGeometry, ShutDown, InputTapOnSessionLocked);
    // Documents opened with the program or dropped on it are accepted and left alone.
    OsInstallFileOpenHandlers(window, [](const std::vector<std::string>&) {});
}

// Nothing can be shown or typed without the display: keep the session and end at once, so
// that the instance lock is free for the next start. The toolkit must not tear down on a dead
// connection, so the process ends here.
[[noreturn]] void EndAfterDisplayLoss() {
    g_MasterWindow = nullptr;
    ShutDown();
    std::fprintf(stderr, "quillon: the X display went away; the session is saved\n");
    std::fflush(stderr);
    std::_Exit(1);
}

void CloseMainWindow(OsWindow* window) {
    CancelUpdateInstall();
    // A terminate request has already saved everything on its way out.
    if (!g_ShutDownDone.load()) SavePlacementOf(window);
    g_MasterWindow = nullptr;
    OsWindowDestroy(window);
}

}  // namespace

void ShutDown() {
    if (g_ShutDownDone.exchange(true)) return;
    CancelUpdateInstall();
    SaveGeometry();
    SaveSessionStateAtExit();
    OsStopControlServer();
    StopToolsForExit();
    OsStopInputTap();
    WakeAndJoinWorkers();
    StopTrackerStatusWriter();
    OsKeysStopWatchingLayout();
    OsInputShutdown();
}

int RunQuillon(int argc, char** argv) {
    const CommandLine commandLine = ScanCommandLine(argc, argv);
    if (const std::optional<int> status = RunClientCommand(commandLine)) return *status;
    g_UpdateManifestOverride = commandLine.manifestOverride;
    if (commandLine.runSelfTest) return RunSelfTestAndReport(commandLine.selfTestPath);
    if (commandLine.childMode) return 0;

    // Quit requests arrive through a descriptor; worker threads inherit the blocked mask.
    OsBlockTerminationSignals();
    OsPrepareFileOpenHandling(argc, argv);
    if (!OsAcquireSingleInstanceLock()) {
        OsActivateOtherInstance();
        return 0;
    }
    // Leftovers of an update that was cut short go before anything is read.
    CleanupUpdateTempFiles();
    LoadSessionAndSettings();
    OsBeginLatencyCriticalActivity();
    if (!OsDisplayReachable()) {
        std::fprintf(stderr, "quillon: no usable X display (DISPLAY unset or unreachable)\n");
        return 1;
    }
    OsKeysWatchLayout();
    // Without XTEST nothing is posted; the boot page tells the user.
    OsInputInit();
    StartWorkers();

    OsWindow* window = OpenMainWindow();
    if (!window) {
        ShutDown();
        std::fprintf(stderr, "quillon: the window could not be created\n");
        return 1;
    }
    LoadFirstPage(window);
    PlaceMainWindow(window);
    InstallWindowHooks(window);
    StartUpdateCheckThread(g_UpdateManifestOverride);
    if (OsWindowRun(window) == MainLoopEnd::kDisplayLost) EndAfterDisplayLoss();
    CloseMainWindow(window);
    ShutDown();
    return 0;
}
