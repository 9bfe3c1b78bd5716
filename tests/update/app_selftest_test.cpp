// The real program with --selftest-update=: report, verdict line and exit status, before any
// other start-up step (no display, no data directory, no instance lock).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/update/test_support.h"

using UpdateTest::RunProcess;

namespace {

constexpr char kPassVerdict[] = "SELFTEST-UPDATE: ALL PASS\n";
constexpr char kFailVerdict[] = "SELFTEST-UPDATE: FAILURES ABOVE\n";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class AppSelfTest : public ::testing::Test {
protected:
    UpdateTest::ProcessResult RunApp(const std::string& argument) {
        // No display and a private home: any start-up step beyond the self-test would fail or
        // leave files behind.
        return RunProcess(
            {QLN_APP_PATH, argument},
            {"DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + dir_.File("home"),
             "XDG_DATA_HOME=" + dir_.File("data"), "XDG_CONFIG_HOME=" + dir_.File("config")});
    }

    void ExpectNothingWritten() {
        EXPECT_FALSE(std::filesystem::exists(dir_.File("data")));
        EXPECT_FALSE(std::filesystem::exists(dir_.File("home")));
        EXPECT_FALSE(std::filesystem::exists(dir_.File("config")));
    }

    std::string StandardVectors() {
        const UpdateTest::ProcessResult made =
            RunProcess({QLN_SIGN_TOOL_PATH, "vectors",
                        std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem"});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return made.out;
    }

    UpdateTest::TempDir dir_;
};

}  // namespace

TEST_F(AppSelfTest, PassingVectorsExitZero) {
    UpdateTest::WriteFile(dir_.File("vectors.txt"), StandardVectors());
    const UpdateTest::ProcessResult run = RunApp("--selftest-update=" + dir_.File("vectors.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(EndsWith(
        run.out, std::string("PASS signing certificate pinned in this build\n") + kPassVerdict))
        << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos);
    EXPECT_NE(run.out.find("PASS host: tester site rejected (Pro/Free build)\n"),
              std::string::npos);
    ExpectNothingWritten();
}

TEST_F(AppSelfTest, FailuresExitOne) {
    const std::string vectors = StandardVectors();
    UpdateTest::WriteFile(dir_.File("keyonly.txt"), vectors.substr(0, vectors.find('\n') + 1));
    UpdateTest::ProcessResult run = RunApp("--selftest-update=" + dir_.File("keyonly.txt"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        EndsWith(run.out, std::string("FAIL no cases found in vectors file\n") + kFailVerdict))
        << run.out;

    run = RunApp("--selftest-update=" + dir_.File("absent.txt"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "FAIL could not open vectors file: " + dir_.File("absent.txt") + "\n" + kFailVerdict);

    // An empty path is still a self-test run, of a file that cannot be opened.
    run = RunApp("--selftest-update=");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, std::string("FAIL could not open vectors file: \n") + kFailVerdict);
    ExpectNothingWritten();
}
