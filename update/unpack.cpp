#include "update/unpack.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr uint64_t kMostEntries = 100000;
constexpr uint64_t kMostUnpackedBytes = uint64_t{1} << 30;

struct ReaderFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

std::vector<std::string_view> PathParts(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".") parts.push_back(part);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return parts;
}

bool SafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/') return false;
    for (std::string_view part : PathParts(path)) {
        if (part == "..") return false;
    }
    return true;
}

// A link's target, read from the link's own folder, must stay inside the destination.
bool LinkStaysInside(std::string_view linkPath, std::string_view target) {
    if (target.empty() || target.front() == '/') return false;
    std::vector<std::string_view> where = PathParts(linkPath);
    if (!where.empty()) where.pop_back();
    for (std::string_view part : PathParts(target)) {
        if (part != "..") {
            where.push_back(part);
        } else if (where.empty()) {
            return false;
        } else {
            where.pop_back();
        }
    }
    return true;
}

bool EntryAllowed(archive_entry* entry) {
    const char* path = archive_entry_pathname(entry);
    if (!path || !SafeRelativePath(path) || archive_entry_hardlink(entry)) return false;
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
            return true;
        case AE_IFLNK: {
            const char* target = archive_entry_symlink(entry);
            return target && LinkStaysInside(path, target);
        }
        default:
            return false;
    }
}

bool CopyData(archive* reader, archive* writer, uint64_t& unpacked) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK) return false;
        unpacked += size;
        if (unpacked > kMostUnpackedBytes) return false;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) return false;
    }
}

bool ExtractEntry(archive* reader, archive* writer, archive_entry* entry,
                  const std::string& destination, uint64_t& unpacked) {
    if (!EntryAllowed(entry)) return false;
    // Nothing but permission bits: no set-id bits from a download.
    archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
    archive_entry_set_pathname(entry, (destination + "/" + archive_entry_pathname(entry)).c_str());
    if (archive_write_header(writer, entry) != ARCHIVE_OK) return false;
    if (archive_entry_size(entry) > 0 && !CopyData(reader, writer, unpacked)) return false;
    return archive_write_finish_entry(writer) == ARCHIVE_OK;
}

}  // namespace

bool UnpackZipArchive(const std::string& archivePath, const std::string& destination) {
    std::unique_ptr<archive, ReaderFree> reader(archive_read_new());
    std::unique_ptr<archive, WriterFree> writer(archive_write_disk_new());
    if (!reader || !writer) return false;
    archive_read_support_format_zip(reader.get());
    // Entries are checked to be relative before the destination goes in front of them; the
    // destination itself is read without links, so that no folder on the way counts as one.
    char* real = realpath(destination.c_str(), nullptr);
    if (!real) return false;
    const std::string root = real;
    std::free(real);
    archive_write_disk_set_options(
        writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                          ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return false;
    }
    uint64_t entries = 0;
    uint64_t unpacked = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK || ++entries > kMostEntries) return false;
        if (!ExtractEntry(reader.get(), writer.get(), entry, root, unpacked)) return false;
    }
    return archive_write_close(writer.get()) == ARCHIVE_OK;
}
