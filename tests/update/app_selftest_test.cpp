// The real program with --selftest-update=: report, verdict line and exit status, before any
// other start-up step (no display, no data directory, no instance lock).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/update/test_support.h"

using UpdateTest::ProcessResult;
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
    // No display and a private home: any start-up step beyond the self-test would fail or
    // leave files behind.
    ProcessResult RunApp(const std::string& vectorsPath) {
        return RunProcess({"env", "DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + dir_.File("home"),
                           "XDG_DATA_HOME=" + dir_.File("data"),
                           "XDG_CONFIG_HOME=" + dir_.File("config"), QLN_APP_PATH,
                           "--selftest-update=" + vectorsPath});
    }

    void TearDown() override {
        for (const char* written : {"data", "home", "config"}) {
            EXPECT_FALSE(std::filesystem::exists(dir_.File(written))) << written;
        }
    }

    UpdateTest::TempDir dir_;
};

}  // namespace

TEST_F(AppSelfTest, VerdictLineAndExitStatus) {
    const ProcessResult made =
        RunProcess({QLN_SIGN_TOOL_PATH, "vectors",
                    std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    UpdateTest::WriteFile(dir_.File("vectors.txt"), made.out);
    ProcessResult run = RunApp(dir_.File("vectors.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(EndsWith(
        run.out, std::string("PASS signing certificate pinned in this build\n") + kPassVerdict))
        << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos);
    EXPECT_NE(run.out.find("PASS host: tester site rejected (Pro/Free build)\n"),
              std::string::npos);

    UpdateTest::WriteFile(dir_.File("keyonly.txt"), made.out.substr(0, made.out.find('\n') + 1));
    run = RunApp(dir_.File("keyonly.txt"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        EndsWith(run.out, std::string("FAIL no cases found in vectors file\n") + kFailVerdict))
        << run.out;
    // An empty path is still a self-test run, of a file that cannot be opened.
    for (const std::string& absent : {dir_.File("absent.txt"), std::string()}) {
        run = RunApp(absent);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "FAIL could not open vectors file: " + absent + "\n" + kFailVerdict);
    }
}
