#include "update/update_check.h"

#include "platform/process.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "update/https_get.h"
#include "update/signature.h"
#include "update/update_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kManifestLimit = 16384;

std::string ManifestUrl() {
    return "https://" + std::string(UpdateConfig::kProductSiteHost) + "/update/" +
           std::string(UpdateConfig::kOwnTier) + ".json";
}

bool ReadSmallFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !text.empty() && text.size() <= kManifestLimit;
}

bool ObtainManifest(const std::string& source, std::string& text) {
    if (source.rfind("http://", 0) == 0) return false;
    if (source.empty() || source.rfind("https://", 0) == 0) {
        return HttpsGet(source.empty() ? ManifestUrl() : source, kManifestLimit, nullptr, nullptr,
                        text) &&
               !text.empty();
    }
    return ReadSmallFile(source, text);
}

// Writes a version as a JSON string literal for the page script.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        if (static_cast<unsigned char>(c) >= 0x20) out.push_back(c);
    }
    return out + "\"";
}

void OfferToPage(const UpdateCheckResult& result) {
    std::lock_guard<std::mutex> lock(g_UpdateUiMutex);
    if (g_UpdateInstallCancel.load() || !g_MasterEvalFn) return;
    g_MasterEvalFn("if (window.onUpdateAvailable) window.onUpdateAvailable(" +
                   Quoted(result.manifest.version) + "," + Quoted(result.currentVersion) + ");");
}

void RunCheckThread(const std::string& source) {
    for (int step = 0; step < 50 && g_AppRunning.load(); ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    while (g_AppRunning.load() && !g_MainPageReady.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    if (!g_AppRunning.load()) return;
    const UpdateCheckResult result = CheckForUpdate(source);
    if (g_AppRunning.load() && result.available) OfferToPage(result);
}

void RemoveEntriesStartingWith(const std::string& folder,
                               std::initializer_list<std::string> prefixes) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        for (const std::string& prefix : prefixes) {
            if (name.rfind(prefix, 0) == 0) RemoveTree(it->path().string());
        }
    }
}

}  // namespace

UpdateCheckResult CheckForUpdate(const std::string& source) {
    UpdateCheckResult result;
    std::string text;
    if (!ObtainManifest(source, text)) return result;
    EVP_PKEY* key = UpdateSignature::ReleaseKey();
    if (!key) return result;
    const auto verify = [key](const std::string& payload, const std::string& sig) {
        return UpdateSignature::VerifyP256(key, payload, sig);
    };
    result.available = UpdateCore::EvaluateManifest(
        verify, text, std::string(UpdateConfig::kOwnTier), kOwnVersion, result.manifest);
    return result;
}

void StartUpdateCheckThread(const std::string& manifestSource) {
    std::thread(RunCheckThread, manifestSource).detach();
}

std::string DownloadFolderPrefix() {
    return std::string("Quillon-update-") + kBundleIdentifier + "-";
}
std::string StagingFolderPrefix() { return std::string(".") + kBundleIdentifier + "-update-"; }
std::string OldCopyPrefix() { return std::string(".") + kBundleIdentifier + "-old-"; }

std::string UserTempDir() {
    const char* dir = std::getenv("TMPDIR");
    return dir && dir[0] == '/' ? std::string(dir) : std::string("/tmp");
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsOwnRealDirectory(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

void RemoveTree(const std::string& path) {
    if (!IsOwnRealDirectory(path)) return;
    std::error_code error;
    fs::remove_all(path, error);
}

void CleanupUpdateTempFiles() {
    RemoveEntriesStartingWith(UserTempDir(), {DownloadFolderPrefix()});
    const std::string app = OsOwnBundlePath();
    if (!app.empty())
        RemoveEntriesStartingWith(FolderOf(app), {StagingFolderPrefix(), OldCopyPrefix()});
}
