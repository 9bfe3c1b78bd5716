// The program as built: bin/quillon finds lib/libwebview.so.0.12 beside bin/ through its own
// run path only, and the library, named by its soname, searches nowhere (an empty entry would
// mean the working directory). The dynamic entries are read by binutils' readelf.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// The search paths and soname from the dynamic section, one "KIND [value]" a line.
std::string DynamicPaths(const fs::path& file) {
    std::string lines;
    FILE* out = popen(("readelf -d '" + file.string() + "'").c_str(), "r");
    char buffer[512];
    while (out && std::fgets(buffer, sizeof buffer, out)) {
        const std::string line = buffer;
        for (const char* kind : {"(RPATH)", "(RUNPATH)", "(SONAME)"}) {
            if (line.find(kind) != std::string::npos) {
                lines += std::string(kind) + " " + line.substr(line.find('['));
            }
        }
    }
    EXPECT_TRUE(out && pclose(out) == 0) << file;
    return lines;
}

TEST(ProgramLayout, ProgramFindsItsLibraryBesideBinOnly) {
    const fs::path program = QUILLON_BINARY;
    const fs::path library = program.parent_path().parent_path() / "lib/libwebview.so.0.12";
    EXPECT_EQ(program.parent_path().filename(), "bin");
    EXPECT_EQ(DynamicPaths(program), "(RUNPATH) [$ORIGIN/../lib]\n");
    EXPECT_EQ(DynamicPaths(library), "(SONAME) [libwebview.so.0.12]\n");
}

}  // namespace
