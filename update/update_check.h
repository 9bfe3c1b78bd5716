#pragma once

// Whether a newer signed version is offered, the start-up check that tells the page, and the
// names of the updater's temporary folders.

#include "update/manifest.h"

#include <string>

inline constexpr const char* kOwnVersion = "1.0.1";
inline constexpr const char* kBundleIdentifier = "app.quillon.free";

struct UpdateCheckResult {
    bool available = false;
    UpdateCore::UpdateManifestInfo manifest;  // filled only when available
    std::string currentVersion = kOwnVersion;
};

// source: empty for this build's manifest on the product web site, an https URL, or a local
// file path (at most 16384 bytes). Plain http is never fetched. Every failure is "no update".
UpdateCheckResult CheckForUpdate(const std::string& source);

// A detached thread: waits 5 s and for the page, checks once and offers the update to the page.
void StartUpdateCheckThread(const std::string& manifestSource);

// Removes what an interrupted update left: download folders in the temporary directory, staging
// folders and old copies beside the installed bundle; only real folders of this user.
void CleanupUpdateTempFiles();

std::string DownloadFolderPrefix();  // "Quillon-update-<identifier>-"
std::string StagingFolderPrefix();   // ".<identifier>-update-"
std::string OldCopyPrefix();         // ".<identifier>-old-"
// The folder the temporary directory names: TMPDIR, else /tmp.
std::string UserTempDir();
// The folder a path is in ("" for a path without one).
std::string FolderOf(const std::string& path);
// A real directory (not a link) owned by this user.
bool IsOwnRealDirectory(const std::string& path);
// Removes the folder with its contents, only when it is one of this user's real directories.
void RemoveTree(const std::string& path);
