#include "app/lifecycle.h"

#include "app/command_line.h"
#include "engine/workers.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/tap.h"
#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/profiles.h"

#include <cstdio>
#include <mutex>

std::mutex g_UpdateUiMutex;                      // around updater calls into the page
std::atomic<bool> g_UpdateInstallCancel{false};  // set when the application ends

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
}

}  // namespace

void ShutDown() {
    if (g_ShutDownDone.exchange(true)) return;
    CancelUpdateInstall();
    SaveSessionStateAtExit();
    StopToolsForExit();
    OsStopInputTap();
    WakeAndJoinWorkers();
    OsKeysStopWatchingLayout();
    OsInputShutdown();
}

int RunQuillon(int argc, char** argv) {
    const CommandLine commandLine = ScanCommandLine(argc, argv);
    if (commandLine.runSelfTest) return RunSelfTestAndReport(commandLine.selfTestPath);
    if (commandLine.childMode) return 0;

    // Quit requests arrive through a descriptor; worker threads inherit the blocked mask.
    OsBlockTerminationSignals();
    if (!OsAcquireSingleInstanceLock()) {
        OsActivateOtherInstance();
        return 0;
    }
    LoadSessionAndSettings();
    OsBeginLatencyCriticalActivity();
    OsKeysWatchLayout();
    if (!OsInputInit()) {
        std::fprintf(stderr,
                     "quillon: no usable X display (DISPLAY unset or unreachable, or the X "
                     "server lacks XTEST 2.2)\n");
        return 1;
    }
    StartWorkers();
    // With XTEST present the input permissions count as granted, so the tap starts now.
    OsStartInputTap();
    if (OsRunUntilTerminated() == MainLoopEnd::kDisplayLost) {
        // Nothing can be shown or typed without the display: keep the session and end, so
        // that the instance lock is free for the next start.
        ShutDown();
        std::fprintf(stderr, "quillon: the X display went away; the session is saved\n");
        return 1;
    }
    ShutDown();
    return 0;
}
