#pragma once

// Whole-file replacement that never leaves a half-written file: the content goes to a
// temporary file beside the target, is flushed to disk and renamed over the target, and the
// folder is synced. When anything fails the old file stays as it was.
// Writers of the same path must not run at the same time (the temporary name is fixed, so a
// crash leaves at most one stray file, reused by the next write).

#include <cstddef>
#include <string>
#include <string_view>

struct OsAtomicFile {
    int fd = -1;
    bool failed = false;
    bool durable = true;  // wait for the disk before the rename and after it
    std::string path;
    std::string tempPath;
};

// Opens the temporary file; false (and nothing on disk changes) when it cannot be created.
bool OsAtomicFileBegin(OsAtomicFile& file, const std::string& path, unsigned mode);
// Appends to the temporary file; a failure is remembered and makes the commit fail.
bool OsAtomicFileWrite(OsAtomicFile& file, std::string_view data);
// Flushes, renames over the target and syncs the folder; on failure removes the temporary.
bool OsAtomicFileCommit(OsAtomicFile& file);
// Drops the temporary file; the target is left untouched.
void OsAtomicFileAbandon(OsAtomicFile& file);

// Begin, one write and commit.
bool OsWriteFileAtomic(const std::string& path, std::string_view content, unsigned mode = 0600);
// The same without waiting for the disk: a crash may keep the old content, never half of the
// new. For files rewritten many times a second that only mirror the live state.
bool OsWriteFileAtomicQuick(const std::string& path, std::string_view content,
                            unsigned mode = 0600);
// Removes a file and syncs its folder; true when it is gone (also when it never existed).
bool OsRemoveFileDurably(const std::string& path);
// Creates the folder and any missing parents with the given mode; true when it exists.
bool OsMakeDirs(const std::string& path, unsigned mode);
// Swaps two paths in one step, so that each always names a whole entry. False when the file
// system cannot (the caller then renames in two steps) or either path is missing.
bool OsExchangePaths(const std::string& a, const std::string& b);
