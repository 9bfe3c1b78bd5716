// The update self-test as the real program runs it, before any other start-up step, on the
// vectors files in tests/update/vectors, whose "#> " lines hold the report it must print.
#include "tests/update/update_test.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace fs = std::filesystem;

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
    const auto run = RunProgram(GetParam());
    std::string expected;
    for (const std::string& line : Split(Slurp(GetParam()), "\n")) {
        if (line.starts_with("#> ")) expected += line.substr(3) + "\n";
    }
    EXPECT_EQ(run.out, expected);
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
