#include "update/install_flow.h"

#include "state/window_state.h"

#include <mutex>

namespace {

// Until the program can fetch a manifest, no newer version can be found.
constexpr const char* kNoLongerAvailable =
    "Update failed: the update is no longer available. Try again later.";

}  // namespace

void RunUpdateInstallFlow(const std::function<void(const std::string& message)>& complete) {
    updateInstallRunning.exchange(false);
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    if (!g_UpdateInstallCancel.load() && g_MasterEvalFn) complete(kNoLongerAvailable);
}
