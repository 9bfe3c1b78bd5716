#include "store/line_reader.h"

#include <exception>
#include <fstream>
#include <memory>

namespace {

constexpr size_t kReadPiece = 1 << 16;

bool ForEachLineOrThrow(const std::string& path,
                        const std::function<bool(std::string_view)>& onLine) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const auto piece = std::make_unique_for_overwrite<char[]>(kReadPiece);
    LineCutter cutter;
    while (!cutter.stopped) {
        in.read(piece.get(), static_cast<std::streamsize>(kReadPiece));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        FeedLines(cutter, std::string_view(piece.get(), got), onLine);
    }
    if (in.bad()) return false;
    FinishLines(cutter, onLine);
    return true;
}

}  // namespace

bool ForEachLineOfFile(const std::string& path,
                       const std::function<bool(std::string_view)>& onLine) {
    // Reading a folder or a failing disk throws from inside the stream buffer.
    try {
        return ForEachLineOrThrow(path, onLine);
    } catch (const std::exception&) {
        return false;
    }
}
