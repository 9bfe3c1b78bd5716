#include "update/selftest.h"

#include <gtest/gtest.h>

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

constexpr char kKeyPass[] = "PASS test key loads as a valid P-256 public key\n";

class SelfTest : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = QuillonSign::GenerateKey();
        ASSERT_TRUE(key_);
    }

    std::string KeyLine(EVP_PKEY* key) {
        return QuillonSign::KeyVectorLine(QuillonSign::PublicBlobHex(key));
    }

    std::string CaseLine(EVP_PKEY* key, const std::string& name, bool expect,
                         const std::string& version = "1.0.2") {
        QuillonSign::CaseVector vector;
        vector.name = name;
        vector.expect = expect;
        vector.writtenFields = {"linux-free", version, kUrl, kSha};
        vector.sig = QuillonSign::SignManifest(key, vector.writtenFields);
        vector.expectedTier = "linux-free";
        vector.ownVersion = "1.0.1";
        return QuillonSign::CaseVectorLine(vector);
    }

    bool Run(const std::string& text, std::string& report) {
        const std::string path = dir_.File("vectors.txt");
        UpdateTest::WriteFile(path, text);
        return RunUpdateSelfTest(path, report);
    }

    UpdateTest::TempDir dir_;
    QuillonSign::Key key_;
};

}  // namespace

TEST_F(SelfTest, MissingFileIsTheOnlyLine) {
    std::string report = "stale";
    const std::string path = dir_.File("absent.txt");
    EXPECT_FALSE(RunUpdateSelfTest(path, report));
    EXPECT_EQ(report, "FAIL could not open vectors file: " + path + "\n");
}

TEST_F(SelfTest, KeyWithoutCasesFails) {
    std::string report;
    EXPECT_FALSE(Run(KeyLine(key_.get()) + "\n", report));
    EXPECT_EQ(report, std::string(kKeyPass) + kFixedTail + "FAIL no cases found in vectors file\n");
}

TEST_F(SelfTest, PassingFileReportsEveryCheck) {
    const std::string text = KeyLine(key_.get()) + "\n\n" + CaseLine(key_.get(), "newer", true) +
                             "\n" + CaseLine(key_.get(), "", false, "1.0.1") + "\n" +
                             "{\"line\":\"comment\",\"name\":\"ignored\"}\n" +
                             "{\"name\":\"no kind\"}\n" + CaseLine(key_.get(), "", true);
    std::string report;
    EXPECT_TRUE(Run(text, report)) << report;
    EXPECT_EQ(report,
              std::string(kKeyPass) + "PASS newer\nPASS case 2\nPASS case 3\n" + kFixedTail);
}

TEST_F(SelfTest, UnexpectedOutcomeFails) {
    std::string report;
    EXPECT_FALSE(
        Run(KeyLine(key_.get()) + "\n" + CaseLine(key_.get(), "wrongly expected", false), report));
    EXPECT_EQ(report, std::string(kKeyPass) + "FAIL wrongly expected\n" + kFixedTail);

    // A case without "expect" expects refusal.
    std::string line = CaseLine(key_.get(), "defaults to refusal", true);
    line.replace(line.find("\"expect\":true"), 13, "\"expecting\":1");
    EXPECT_FALSE(Run(KeyLine(key_.get()) + "\n" + line, report));
    EXPECT_NE(report.find("FAIL defaults to refusal\n"), std::string::npos);
}

TEST_F(SelfTest, CaseBeforeKeyIsASkippedFailure) {
    const std::string text = CaseLine(key_.get(), "early", true) + "\n" + KeyLine(key_.get()) +
                             "\n" + CaseLine(key_.get(), "", true) + "\n";
    std::string report;
    EXPECT_FALSE(Run(text, report));
    EXPECT_EQ(report, std::string("FAIL case before a valid key line - skipped\n") + kKeyPass +
                          "PASS case 1\n" + kFixedTail);
}

TEST_F(SelfTest, BadKeyLinesDropTheKeyUntilAGoodOne) {
    const std::string good = QuillonSign::PublicBlobHex(key_.get());
    std::string badMagic = good;
    badMagic[1] = '0';
    std::string offCurve = good;
    offCurve.back() = offCurve.back() == '0' ? '1' : '0';
    for (const std::string& hex : {std::string(""), good.substr(1), good + "00", badMagic, offCurve,
                                   "zz" + good.substr(2)}) {
        const std::string text = KeyLine(key_.get()) + "\n" + QuillonSign::KeyVectorLine(hex) +
                                 "\n" + CaseLine(key_.get(), "after bad key", true) + "\n" +
                                 KeyLine(key_.get()) + "\n" + CaseLine(key_.get(), "", true);
        std::string report;
        EXPECT_FALSE(Run(text, report)) << hex;
        EXPECT_EQ(report, std::string(kKeyPass) +
                              "FAIL test key loads as a valid P-256 public key\n"
                              "FAIL case before a valid key line - skipped\n" +
                              kKeyPass + "PASS case 1\n" + kFixedTail)
            << hex;
    }
    // Upper-case hex is a good key.
    std::string upper = good;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string report;
    EXPECT_TRUE(
        Run(QuillonSign::KeyVectorLine(upper) + "\n" + CaseLine(key_.get(), "", true), report));
}

TEST_F(SelfTest, SecondKeyReplacesTheFirst) {
    QuillonSign::Key second = QuillonSign::GenerateKey();
    const std::string text = KeyLine(key_.get()) + "\n" + CaseLine(key_.get(), "first", true) +
                             "\n" + KeyLine(second.get()) + "\n" +
                             CaseLine(second.get(), "second", true) + "\n" +
                             CaseLine(key_.get(), "old key refused", false) + "\n" +
                             CaseLine(key_.get(), "old key accepted", true) + "\n";
    std::string report;
    EXPECT_FALSE(Run(text, report));
    EXPECT_EQ(report, std::string(kKeyPass) + "PASS first\n" + kKeyPass +
                          "PASS second\nPASS old key refused\nFAIL old key accepted\n" +
                          kFixedTail);
}

TEST_F(SelfTest, CaseValuesGoIntoTheManifestUnescaped) {
    // The line's \\/ reads as \/, which the manifest reader resolves to /.
    QuillonSign::CaseVector vector;
    vector.name = "escaped url";
    vector.expect = true;
    vector.writtenFields = {"linux-free", "1.0.2", kUrl, kSha};
    vector.sig = QuillonSign::SignManifest(key_.get(), vector.writtenFields);
    vector.expectedTier = "linux-free";
    vector.ownVersion = "1.0.1";
    std::string line = QuillonSign::CaseVectorLine(vector);
    const std::string plainUrl = std::string("\"") + kUrl + "\"";
    std::string escapedUrl = "\"https:\\\\/\\\\/quillon.app\\\\/downloads\\\\/quillon-1.0.2.zip\"";
    line.replace(line.find(plainUrl), plainUrl.size(), escapedUrl);

    std::string report;
    EXPECT_TRUE(Run(KeyLine(key_.get()) + "\n" + line + "\n", report)) << report;
    EXPECT_NE(report.find("PASS escaped url\n"), std::string::npos);

    // A quote in a value ends the manifest member early: the case is then refused.
    vector.writtenFields.url = "https://quillon.app/a\"b";
    vector.sig = QuillonSign::SignManifest(key_.get(), vector.writtenFields);
    EXPECT_FALSE(
        Run(KeyLine(key_.get()) + "\n" + QuillonSign::CaseVectorLine(vector) + "\n", report));
    EXPECT_NE(report.find("FAIL escaped url\n"), std::string::npos);
}

TEST_F(SelfTest, LabelsStayOnOneLineAndPrintWhole) {
    std::string line = CaseLine(key_.get(), "NAME", false);
    line.replace(line.find("NAME"), 4, std::string("a\\nb\0c\\rd", 9));
    std::string report;
    EXPECT_FALSE(Run(KeyLine(key_.get()) + "\n" + line + "\n", report));
    EXPECT_EQ(report, std::string(kKeyPass) + "FAIL a?b?c?d\n" + kFixedTail);
    EXPECT_EQ(report.find('\0'), std::string::npos);
}

TEST_F(SelfTest, PublisherStandardVectorsPass) {
    std::string text;
    for (const std::string& line : QuillonSign::StandardVectorLines(key_.get()))
        text += line + "\n";
    std::string report;
    EXPECT_TRUE(Run(text, report)) << report;
    EXPECT_EQ(report.find("FAIL"), std::string::npos) << report;
    EXPECT_NE(report.find("PASS accept: newer signed manifest\n"), std::string::npos);
    EXPECT_NE(report.find("PASS refuse: version changed after signing\n"), std::string::npos);
}
