// The update self-test as the real program runs it, before any other start-up step, on the
// vectors files in tests/update/vectors, whose "#> " lines hold the report it must print.
#include "tests/update/update_test.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class Vectors : public testing::TestWithParam<fs::path> {};

// Without a display and with a private home: any start-up step past the self-test would fail or
// leave files behind. A path that cannot be opened, the empty one too, is a failed run.
TEST_P(Vectors, ProgramPrintsTheReportAndExitsWithItsVerdict) {
    const UpdateTest::TempDir home;
    const auto run = UpdateTest::RunProcess(
        {"env", "DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + home.File("home"),
         "XDG_DATA_HOME=" + home.File("data"), "XDG_CONFIG_HOME=" + home.File("config"),
         QLN_APP_PATH, "--selftest-update=" + GetParam().string()});
    EXPECT_TRUE(fs::is_empty(home.path)) << "files written";
    std::string expected;
    for (const std::string& line : Split(Slurp(GetParam()), "\n")) {
        if (line.starts_with("#> ")) expected += line.substr(3) + "\n";
    }
    if (!fs::exists(GetParam())) {
        expected = "FAIL could not open vectors file: " + GetParam().string() +
                   "\nSELFTEST-UPDATE: FAILURES ABOVE\n";
    }
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exitCode, run.out.ends_with("SELFTEST-UPDATE: ALL PASS\n") ? 0 : 1) << run.err;
}

std::vector<fs::path> Paths() {
    std::vector<fs::path> paths{"", "/nonexistent/vectors"};
    for (const auto& entry : fs::directory_iterator(QLN_VECTORS_DIR)) paths.push_back(entry);
    return paths;
}

INSTANTIATE_TEST_SUITE_P(Files, Vectors, testing::ValuesIn(Paths()), [](const auto& path) {
    return path.param.empty() ? std::string("empty") : path.param.stem().string();
});

}  // namespace
