#include "update/install.h"

#include "platform/files.h"
#include "platform/process.h"
#include "update/signature.h"
#include "update/update_check.h"

#include <openssl/rand.h>
#include <unistd.h>

#include <cstdio>

namespace {

const std::string kNotInstalled =
    "Update failed: the update could not be installed. Nothing was changed.";

// Waits for this process to end, deletes the old copy and starts the new bundle on its own.
constexpr const char* kRelaunchScript =
    "while kill -0 \"$1\" 2>/dev/null; do sleep 0.2; done; rm -rf \"$2\"; "
    "\"$3/bin/quillon\" </dev/null >/dev/null 2>&1 &";

std::string RandomToken() {
    unsigned char bytes[8];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    return UpdateSignature::EncodeHex(bytes, sizeof bytes);
}

void Step(int step) {
    if (QlnInstallStepSeam) QlnInstallStepSeam(step);
}

}  // namespace

std::string InstallStagedUpdate(const std::string& stagedBundle) {
    const std::string app = OsOwnBundlePath();
    const std::string parent = FolderOf(app);
    const std::string staging = FolderOf(stagedBundle);
    const std::string token = RandomToken();
    if (app.empty() || token.empty() || FolderOf(staging) != parent) {
        RemoveTree(staging);
        return kNotInstalled;
    }
    const std::string old = parent + "/" + OldCopyPrefix() + token;
    Step(1);
    // One exchange keeps a whole bundle at the app's path at every moment, so a crash between
    // the steps leaves a working program; where the file system cannot, two renames do.
    std::string oldCopy = old;
    if (OsExchangePaths(stagedBundle, app)) {
        Step(2);
        if (std::rename(stagedBundle.c_str(), old.c_str()) != 0) oldCopy = staging;
    } else if (std::rename(app.c_str(), old.c_str()) != 0) {
        RemoveTree(staging);
        return kNotInstalled;
    } else {
        Step(2);
        if (std::rename(stagedBundle.c_str(), app.c_str()) != 0) {
            std::rename(old.c_str(), app.c_str());
            RemoveTree(staging);
            return kNotInstalled;
        }
    }
    Step(3);
    rmdir(staging.c_str());
    OsSpawnDetached(
        {"/bin/sh", "-c", kRelaunchScript, "sh", std::to_string(getpid()), oldCopy, app});
    return {};
}
