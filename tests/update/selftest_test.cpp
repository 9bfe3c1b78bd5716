#include "update/selftest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "tests/update/test_support.h"
#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"

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

const std::string kKeyPass = "PASS test key loads as a valid P-256 public key\n";
const std::string kKeyFail = "FAIL test key loads as a valid P-256 public key\n";
const std::string kSkipped = "FAIL case before a valid key line - skipped\n";

class SelfTest : public ::testing::Test {
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
        const std::string path = dir_.File("vectors.txt");
        UpdateTest::WriteFile(path, text);
        return RunUpdateSelfTest(path, report);
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
    std::string badMagic = good;
    badMagic[1] = '0';
    std::string offCurve = good;
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
    std::string upper = good;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string report;
    EXPECT_TRUE(
        Run(QuillonSign::KeyVectorLine(upper) + "\n" + CaseLine(key_.get(), "", true), report));
}
