// The update self-test as the real program runs it, before any other start-up step, on the
// vectors files in tests/update/vectors: "#> " lines hold the report it must print, less the
// built-in host and pin lines; a file without them must pass every key and case line.
#include "tests/update/update_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr char kBuiltIn[] =
    "PASS host: quillon.app allowed\nPASS host: api.quillon.app allowed\n"
    "PASS host: look-alike subdomain rejected\nPASS host: userinfo trick rejected\n"
    "PASS host: explicit port rejected\nPASS host: other site rejected\n"
    "PASS host: plain http rejected\nPASS host: tester site rejected (Pro/Free build)\n"
    "PASS signing certificate pinned in this build\n";

// Without a display and with a private home: any start-up step past the self-test would fail or
// leave files behind.
UpdateTest::ProcessResult RunProgram(const std::string& vectors) {
    const UpdateTest::TempDir home;
    auto result = UpdateTest::RunProcess(
        {"env", "DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + home.File("home"),
         "XDG_DATA_HOME=" + home.File("data"), "XDG_CONFIG_HOME=" + home.File("config"),
         QLN_APP_PATH, "--selftest-update=" + vectors});
    EXPECT_TRUE(fs::is_empty(home.path)) << "files written";
    return result;
}

class Vectors : public testing::TestWithParam<fs::path> {};

TEST_P(Vectors, ProgramPrintsTheReportAndExitsWithItsVerdict) {
    auto run = RunProgram(GetParam());
    const size_t builtIn = run.out.find(kBuiltIn);
    ASSERT_NE(builtIn, std::string::npos) << run.out << run.err;
    run.out.erase(builtIn, sizeof kBuiltIn - 1);
    std::istringstream in(Slurp(GetParam()));
    std::string expected;
    int entries = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#> ", 0) == 0) expected += line.substr(3) + "\n";
        entries += line.find("{\"line\":\"") == 0;
    }
    if (expected.empty()) {
        EXPECT_EQ(run.out.find("FAIL"), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), entries + 1) << run.out;
    } else {
        EXPECT_EQ(run.out, expected);
    }
    EXPECT_EQ(run.exitCode, run.out.ends_with("SELFTEST-UPDATE: ALL PASS\n") ? 0 : 1) << run.err;
}

std::vector<fs::path> VectorFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(QLN_VECTORS_DIR)) files.push_back(entry);
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Files, Vectors, testing::ValuesIn(VectorFiles()),
                         [](const auto& file) { return file.param.stem().string(); });

// An empty path is still a self-test run, of a file that cannot be opened.
TEST(SelfTest, UnreadableVectorsFail) {
    for (const std::string path : {"/nonexistent/vectors", ""}) {
        const auto run = RunProgram(path);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "FAIL could not open vectors file: " + path +
                               "\nSELFTEST-UPDATE: FAILURES ABOVE\n");
    }
}

}  // namespace
