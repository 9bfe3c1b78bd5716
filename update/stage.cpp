#include "update/stage.h"

#include "platform/process.h"
#include "update/bundle_digest.h"
#include "update/unpack.h"
#include "update/update_check.h"
#include "update/update_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kDownloadLimit = 209715200;

const std::string kBadLink = "Update failed: the download link was not valid.";
const std::string kWrongPlace =
    "Update failed: Quillon can't update itself where it is. Install it in a folder you own, "
    "start it from there, and try again.";
const std::string kNoTempFolder = "Update failed: could not create a temporary folder.";
const std::string kNotSaved = "Update failed: could not save the download.";
const std::string kIncomplete =
    "Update failed: the download did not complete. Check your connection and try again.";
const std::string kDigestMismatch =
    "Update failed: the download did not match the signed update. Nothing was changed.";
const std::string kNotUnpacked =
    "Update failed: the update could not be unpacked. Nothing was changed.";
const std::string kNotThisApp =
    "Update failed: the update did not contain this app. Nothing was changed.";
const std::string kNotSigned =
    "Update failed: the new version is not signed by Quillon. Nothing was changed.";
const std::string kWrongVersion =
    "Update failed: the update is not the version that was announced. Nothing was changed.";

std::string NoWriteAccess(const std::string& parent) {
    return "Update failed: your account can't change apps in " + parent +
           ". Download the new version from " + std::string(UpdateConfig::kProductSiteHost) +
           " instead.";
}

// The .deb ships this file, naming the package manager, in its bundle: the package manager
// updates that bundle, whoever runs it and whatever they may write.
bool InstalledByPackageManager(const std::string& app) {
    struct stat info;
    return lstat((app + "/packaged-by").c_str(), &info) == 0;
}

bool OnReadOnlyMount(const std::string& path) {
    struct statvfs info;
    return statvfs(path.c_str(), &info) != 0 || (info.f_flag & ST_RDONLY) != 0;
}

std::string MakeUniqueFolder(const std::string& pattern) {
    std::string path = pattern + "XXXXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

// The archive file, new and ours alone: no link followed, nothing there before.
FILE* CreateArchiveFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (!file) close(fd);
    return file;
}

std::string Download(const UpdateCore::UpdateManifestInfo& manifest, const UpdateProgress& progress,
                     const std::string& archive) {
    FILE* file = CreateArchiveFile(archive);
    if (!file) return kNotSaved;
    std::string unused;
    const bool fetched = HttpsGet(manifest.url, kDownloadLimit, file, &progress, unused);
    const bool closed = std::fclose(file) == 0;
    if (!fetched || !closed) return kIncomplete;
    if (Sha256FileHexLower(archive) != manifest.sha256) return kDigestMismatch;
    return {};
}

// The staging folder must hold exactly our bundle's name, as a real folder of ours.
bool HoldsOnlyTheBundle(const std::string& staging, const std::string& name) {
    std::error_code error;
    int entries = 0;
    for (fs::directory_iterator it(staging, error), end; !error && it != end; it.increment(error)) {
        if (++entries > 1 || it->path().filename() != name) return false;
    }
    return !error && entries == 1 && IsOwnRealDirectory(staging + "/" + name);
}

std::string VersionBeforeDash(const std::string& version) {
    return version.substr(0, version.find('-'));
}

std::string CheckStagedBundle(const std::string& staged, const std::string& announcedVersion) {
    if (!BundleSignedByPublisher(staged) ||
        ReadBundleValue(staged, "identifier") != kBundleIdentifier) {
        return kNotSigned;
    }
    if (ReadBundleValue(staged, "version") != VersionBeforeDash(announcedVersion)) {
        return kWrongVersion;
    }
    return {};
}

std::string Stage(const std::string& archive, const std::string& parent, const std::string& name,
                  const std::string& announcedVersion, std::string& staged) {
    const std::string staging = MakeUniqueFolder(parent + "/" + StagingFolderPrefix());
    if (staging.empty()) return kWrongPlace;
    std::string error;
    if (!UnpackZipArchive(archive, staging)) {
        error = kNotUnpacked;
    } else if (!HoldsOnlyTheBundle(staging, name)) {
        error = kNotThisApp;
    } else {
        error = CheckStagedBundle(staging + "/" + name, announcedVersion);
    }
    if (!error.empty()) {
        RemoveTree(staging);
        return error;
    }
    staged = staging + "/" + name;
    return {};
}

}  // namespace

std::string ReadBundleValue(const std::string& bundle, const std::string& key) {
    struct stat info;
    const std::string path = bundle + "/bundle.ini";
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return {};
}

std::string DownloadAndStageUpdate(const UpdateCore::UpdateManifestInfo& manifest,
                                   const UpdateProgress& progress, std::string& stagedBundle) {
    stagedBundle.clear();
    if (manifest.url.rfind("https://", 0) != 0) return kBadLink;
    const std::string app = OsOwnBundlePath();
    const std::string parent = FolderOf(app);
    if (app.empty() || parent.empty() || OnReadOnlyMount(app)) return kWrongPlace;
    if (InstalledByPackageManager(app) || access(parent.c_str(), W_OK) != 0 ||
        access(app.c_str(), W_OK) != 0) {
        return NoWriteAccess(parent);
    }
    const std::string download = MakeUniqueFolder(UserTempDir() + "/" + DownloadFolderPrefix());
    if (download.empty()) return kNoTempFolder;
    const std::string archive = download + "/update.zip";
    std::string error = Download(manifest, progress, archive);
    if (error.empty()) {
        error =
            Stage(archive, parent, app.substr(parent.size() + 1), manifest.version, stagedBundle);
    }
    RemoveTree(download);
    return error;
}
