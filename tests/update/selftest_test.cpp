// The update self-test: every report line of a vectors file, in-process and from the real
// program, which runs it before any other start-up step.
#include "update/selftest.h"
#include "tests/update/update_test.h"
#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"

#include <gtest/gtest.h>

#include <algorithm>

using UpdateTest::WriteFile;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://quillon.app/downloads/quillon-1.0.2.zip";

constexpr char kFixedTail[] =
    "PASS host: quillon.app allowed\n"
    "PASS host: api.quillon.app allowed\n"
    "PASS host: look-alike subdomain rejected\n"
    "PASS host: userinfo trick rejected\n"
    "PASS host: explicit port rejected\n"
    "PASS host: other site rejected\n"
    "PASS host: plain http rejected\n"
    "PASS host: tester site rejected (Pro/Free build)\n"
    "PASS signing certificate pinned in this build\n";
constexpr char kPassVerdict[] = "SELFTEST-UPDATE: ALL PASS\n";
constexpr char kFailVerdict[] = "SELFTEST-UPDATE: FAILURES ABOVE\n";

const std::string kKeyPass = "PASS test key loads as a valid P-256 public key\n";
const std::string kKeyFail = "FAIL test key loads as a valid P-256 public key\n";
const std::string kSkipped = "FAIL case before a valid key line - skipped\n";

class SelfTest : public testing::Test {
protected:
    static std::string KeyLine(EVP_PKEY* key) {
        return QuillonSign::KeyVectorLine(QuillonSign::PublicBlobHex(key)) + "\n";
    }
    static std::string CaseLine(EVP_PKEY* key, const std::string& name, bool expect,
                                const std::string& version = "1.0.2",
                                const std::string& url = kUrl) {
        QuillonSign::CaseVector vector{name, expect,       {"linux-free", version, url, kSha},
                                       "",   "linux-free", "1.0.1"};
        vector.sig = QuillonSign::SignManifest(key, vector.writtenFields);
        return QuillonSign::CaseVectorLine(vector) + "\n";
    }
    bool Run(const std::string& text, std::string& report) {
        WriteFile(dir_.File("vectors.txt"), text);
        return RunUpdateSelfTest(dir_.File("vectors.txt"), report);
    }
    // The real program, without a display and with a private home: any start-up step beyond
    // the self-test would fail or leave files behind.
    UpdateTest::ProcessResult RunApp(const std::string& vectorsPath) {
        auto result = UpdateTest::RunProcess(
            {"env", "DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + dir_.File("home"),
             "XDG_DATA_HOME=" + dir_.File("data"), "XDG_CONFIG_HOME=" + dir_.File("config"),
             QLN_APP_PATH, "--selftest-update=" + vectorsPath});
        for (const char* written : {"data", "home", "config"}) {
            EXPECT_FALSE(std::filesystem::exists(dir_.File(written))) << written;
        }
        return result;
    }

    UpdateTest::TempDir dir_;
    QuillonSign::Key key_ = QuillonSign::GenerateKey();
    QuillonSign::Key second_ = QuillonSign::GenerateKey();
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST_F(SelfTest, ReportsEveryLineExactly) {
    EVP_PKEY* k = key_.get();
    const std::string key = KeyLine(k);
    struct Case {
        std::string text, report;
        bool verdict;
    };
    const Case cases[] = {
        // Unnamed cases are labelled by their number; other lines and blank lines are ignored.
        {key + "\n" + CaseLine(k, "newer", true) + CaseLine(k, "", false, "1.0.1") +
             "{\"line\":\"comment\",\"name\":\"ignored\"}\n{\"name\":\"no kind\"}\n" +
             CaseLine(k, "", true),
         kKeyPass + "PASS newer\nPASS case 2\nPASS case 3\n" + kFixedTail, true},
        {key, kKeyPass + kFixedTail + "FAIL no cases found in vectors file\n", false},
        {key + CaseLine(k, "wrongly expected", false),
         kKeyPass + "FAIL wrongly expected\n" + kFixedTail, false},
        // A case without "expect" expects refusal.
        {key + Replaced(CaseLine(k, "no expect", true), "\"expect\":true", "\"expecting\":1"),
         kKeyPass + "FAIL no expect\n" + kFixedTail, false},
        {CaseLine(k, "early", true) + key + CaseLine(k, "", true),
         kSkipped + kKeyPass + "PASS case 1\n" + kFixedTail, false},
        // A second key replaces the first.
        {key + CaseLine(k, "first", true) + KeyLine(second_.get()) +
             CaseLine(second_.get(), "second", true) + CaseLine(k, "old key refused", false) +
             CaseLine(k, "old key accepted", true),
         kKeyPass + "PASS first\n" + kKeyPass +
             "PASS second\nPASS old key refused\nFAIL old key accepted\n" + kFixedTail,
         false},
        // Labels stay on one line and print whole.
        {key + Replaced(CaseLine(k, "NAME", false), "NAME", std::string("a\\nb\0c\\rd", 9)),
         kKeyPass + "FAIL a?b?c?d\n" + kFixedTail, false},
        // Values go into the manifest as read: the line's \\/ reads as \/, which the manifest
        // reader resolves to /, while a quote ends the member early.
        {key + Replaced(CaseLine(k, "escaped", true), kUrl,
                        R"(https:\\/\\/quillon.app\\/downloads\\/quillon-1.0.2.zip)"),
         kKeyPass + "PASS escaped\n" + kFixedTail, true},
        {key + CaseLine(k, "quoted", true, "1.0.2", "https://quillon.app/a\"b"),
         kKeyPass + "FAIL quoted\n" + kFixedTail, false},
    };
    for (const Case& c : cases) {
        std::string report;
        EXPECT_EQ(Run(c.text, report), c.verdict) << c.text;
        EXPECT_EQ(report, c.report) << c.text;
    }

    std::string report = "stale";
    EXPECT_FALSE(RunUpdateSelfTest(dir_.File("absent.txt"), report));
    EXPECT_EQ(report, "FAIL could not open vectors file: " + dir_.File("absent.txt") + "\n");
}

TEST_F(SelfTest, BadKeyLinesDropTheKeyUntilAGoodOne) {
    const std::string good = QuillonSign::PublicBlobHex(key_.get());
    std::string badMagic = good, offCurve = good, upper = good;
    badMagic[1] = '0';
    offCurve.back() = offCurve.back() == '0' ? '1' : '0';
    for (const std::string& hex : {std::string(""), good.substr(1), good + "00", badMagic, offCurve,
                                   "zz" + good.substr(2)}) {
        const std::string text = KeyLine(key_.get()) + QuillonSign::KeyVectorLine(hex) + "\n" +
                                 CaseLine(key_.get(), "after bad key", true) + KeyLine(key_.get()) +
                                 CaseLine(key_.get(), "", true);
        std::string report;
        EXPECT_FALSE(Run(text, report)) << hex;
        EXPECT_EQ(report, kKeyPass + kKeyFail + kSkipped + kKeyPass + "PASS case 1\n" + kFixedTail)
            << hex;
    }
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::string report;
    EXPECT_TRUE(
        Run(QuillonSign::KeyVectorLine(upper) + "\n" + CaseLine(key_.get(), "", true), report));
}

TEST_F(SelfTest, TheProgramPrintsTheReportAndAVerdictAndExitsWithIt) {
    // The publisher's standard vectors, signed with the development key, all pass.
    const auto made = UpdateTest::RunProcess(
        {QLN_SIGN_TOOL_PATH, "vectors",
         std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    WriteFile(dir_.File("vectors.txt"), made.out);
    auto run = RunApp(dir_.File("vectors.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with(std::string(kFixedTail) + kPassVerdict)) << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos);

    WriteFile(dir_.File("keyonly.txt"), made.out.substr(0, made.out.find('\n') + 1));
    run = RunApp(dir_.File("keyonly.txt"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        run.out.ends_with(std::string("FAIL no cases found in vectors file\n") + kFailVerdict))
        << run.out;
    // An empty path is still a self-test run, of a file that cannot be opened.
    for (const std::string& absent : {dir_.File("absent.txt"), std::string()}) {
        run = RunApp(absent);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "FAIL could not open vectors file: " + absent + "\n" + kFailVerdict);
    }
}
