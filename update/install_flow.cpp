#include "update/install_flow.h"

#include "state/window_state.h"
#include "update/install.h"
#include "update/stage.h"
#include "update/update_check.h"

#include <mutex>

namespace {

constexpr const char* kNoLongerAvailable =
    "Update failed: the update is no longer available. Try again later.";

// True when the page may still hear from us; the caller holds g_UpdateUiMutex.
bool PageListensLocked() { return !g_UpdateInstallCancel.load() && g_MasterEvalFn != nullptr; }

bool ReportProgress(uint64_t received, uint64_t total) {
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    if (!PageListensLocked()) return false;
    g_MasterEvalFn("if (window.onUpdateProgress) onUpdateProgress(" + std::to_string(received) +
                   "," + std::to_string(total) + ");");
    return true;
}

void ReportFailure(const std::string& error, const CompleteUpdateCall& complete) {
    updateInstallRunning.exchange(false);
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    if (PageListensLocked()) complete(error);
}

// On the UI thread: the swap, then the end of the application (the relaunch script waits).
void InstallOnUiThread(const std::string& staged, const CompleteUpdateCall& complete) {
    if (g_UpdateInstallCancel.load()) return;
    const std::string error = InstallStagedUpdate(staged);
    if (!error.empty()) {
        updateInstallRunning.exchange(false);
        complete(error);
        return;
    }
    if (g_MasterQuitFn) g_MasterQuitFn();
}

}  // namespace

void RunUpdateInstallFlow(const CompleteUpdateCall& complete) {
    const UpdateCheckResult check = CheckForUpdate(g_UpdateManifestOverride);
    if (g_UpdateInstallCancel.load()) {
        updateInstallRunning.exchange(false);
        return;
    }
    if (!check.available) return ReportFailure(kNoLongerAvailable, complete);
    std::string staged;
    const std::string error = DownloadAndStageUpdate(check.manifest, ReportProgress, staged);
    if (g_UpdateInstallCancel.load()) {
        updateInstallRunning.exchange(false);
        return;
    }
    if (!error.empty()) return ReportFailure(error, complete);
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    if (!PageListensLocked() || !g_MasterDispatchFn) {
        updateInstallRunning.exchange(false);
        return;
    }
    g_MasterEvalFn("if (window.onUpdateInstalling) onUpdateInstalling();");
    g_MasterDispatchFn([staged, complete] { InstallOnUiThread(staged, complete); });
}
