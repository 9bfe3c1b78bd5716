// The built program's layout: bin/quillon, lib/libwebview.so.0.12 beside bin/, and the dynamic
// entries that tie them together, read straight from the ELF files.
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct DynamicEntries {
    bool read = false;
    std::optional<std::string> soname, runpath, rpath;
};

template <typename T>
bool ReadAt(const std::vector<char>& file, uint64_t offset, T& out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, file.data() + offset, sizeof(T));
    return true;
}

std::optional<std::string> StringAt(const std::vector<char>& file, const Elf64_Shdr& table,
                                    uint64_t index) {
    if (index >= table.sh_size || table.sh_offset > file.size()) return std::nullopt;
    const uint64_t start = table.sh_offset + index;
    const uint64_t end = std::min<uint64_t>(file.size(), table.sh_offset + table.sh_size);
    if (start >= end) return std::nullopt;
    const char* text = file.data() + start;
    return std::string(text, strnlen(text, end - start));
}

// The dynamic section of a 64-bit ELF file, through its section headers.
DynamicEntries ReadDynamic(const fs::path& path) {
    DynamicEntries result;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<char> file(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(file.data(), static_cast<std::streamsize>(file.size()));
    if (!in) return result;
    Elf64_Ehdr header;
    if (!ReadAt(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr)) {
        return result;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    for (size_t i = 0; i < sections.size(); ++i) {
        if (!ReadAt(file, header.e_shoff + i * sizeof(Elf64_Shdr), sections[i])) return result;
    }
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNAMIC || section.sh_link >= sections.size()) continue;
        const Elf64_Shdr& strings = sections[section.sh_link];
        for (uint64_t at = 0; at + sizeof(Elf64_Dyn) <= section.sh_size; at += sizeof(Elf64_Dyn)) {
            Elf64_Dyn entry;
            if (!ReadAt(file, section.sh_offset + at, entry) || entry.d_tag == DT_NULL) break;
            const auto text = [&] { return StringAt(file, strings, entry.d_un.d_val); };
            if (entry.d_tag == DT_SONAME) result.soname = text();
            if (entry.d_tag == DT_RUNPATH) result.runpath = text();
            if (entry.d_tag == DT_RPATH) result.rpath = text();
        }
        result.read = true;
    }
    return result;
}

const fs::path kProgram = QUILLON_BINARY;
const fs::path kLibrary = kProgram.parent_path().parent_path() / "lib" / "libwebview.so.0.12";

TEST(ProgramLayout, ProgramSitsInBinBesideLib) {
    EXPECT_EQ(kProgram.parent_path().filename(), "bin");
    EXPECT_TRUE(fs::is_regular_file(kProgram));
    EXPECT_TRUE(fs::is_regular_file(kLibrary)) << kLibrary;
}

TEST(ProgramLayout, ProgramSearchesItsOwnLibFolderOnly) {
    const DynamicEntries program = ReadDynamic(kProgram);
    ASSERT_TRUE(program.read);
    ASSERT_TRUE(program.runpath.has_value());
    EXPECT_EQ(*program.runpath, "$ORIGIN/../lib");
    EXPECT_FALSE(program.rpath.has_value());
}

TEST(ProgramLayout, WebViewLibraryIsNamedBySonameAndSearchesNoWorkingDirectory) {
    const DynamicEntries library = ReadDynamic(kLibrary);
    ASSERT_TRUE(library.read);
    EXPECT_EQ(library.soname, "libwebview.so.0.12");
    // An empty search path entry means the working directory to the loader.
    EXPECT_FALSE(library.runpath.has_value());
    EXPECT_FALSE(library.rpath.has_value());
}

}  // namespace
