#include "tools/quillon-sign/bundle_zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct WriterFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

bool AddEntry(archive* zip, const fs::path& path, const std::string& name) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return false;
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_copy_stat(entry.get(), &info);
    archive_entry_set_pathname(entry.get(), name.c_str());
    std::string contents;
    if (S_ISLNK(info.st_mode)) {
        archive_entry_set_symlink(entry.get(), fs::read_symlink(path).c_str());
        archive_entry_set_size(entry.get(), 0);
    } else if (S_ISREG(info.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (contents.size() != static_cast<size_t>(info.st_size)) return false;
    } else if (!S_ISDIR(info.st_mode)) {
        return false;
    }
    if (archive_write_header(zip, entry.get()) != ARCHIVE_OK) return false;
    return contents.empty() || archive_write_data(zip, contents.data(), contents.size()) ==
                                   static_cast<la_ssize_t>(contents.size());
}

}  // namespace

bool WriteBundleZip(const std::string& folder, const std::string& zipPath, std::string& error) {
    const fs::path root = fs::path(folder).lexically_normal();
    const std::string top = (root.has_filename() ? root : root.parent_path()).filename().string();
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        paths.push_back(it->path());
    }
    if (ec) {
        error = "cannot read " + folder;
        return false;
    }
    std::sort(paths.begin(), paths.end());
    std::unique_ptr<archive, WriterFree> zip(archive_write_new());
    archive_write_set_format_zip(zip.get());
    if (archive_write_open_filename(zip.get(), zipPath.c_str()) != ARCHIVE_OK) {
        error = "cannot write " + zipPath;
        return false;
    }
    bool ok = AddEntry(zip.get(), root, top + "/");
    for (const fs::path& path : paths) {
        if (!ok) break;
        ok = AddEntry(zip.get(), path, top + "/" + path.lexically_relative(root).string());
    }
    if (archive_write_close(zip.get()) != ARCHIVE_OK || !ok) {
        error = "cannot zip " + folder;
        return false;
    }
    return true;
}
