// The publisher tool and the openssl command-line tool as real processes: signatures cross
// between them both ways, and what the tool makes is what the updater and the program accept.
#include "tests/update/update_test.h"
#include "tools/quillon-sign/signer.h"
#include "update/manifest.h"
#include "update/signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using UpdateTest::ProcessResult;
using UpdateTest::RunProcess;
using UpdateTest::WriteFile;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://api.quillon.app/download/pro";
const std::string kDevKey = std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-";

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

ProcessResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), QLN_SIGN_TOOL_PATH);
    return RunProcess(args);
}

class SignTool : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                           "-out", key_}),
                  0);
        ASSERT_EQ(Openssl({"pkey", "-in", key_, "-pubout", "-out", pub_}), 0);
        WriteFile(payloadPath_, payload_);
    }
    int Openssl(std::vector<std::string> args) {
        args.insert(args.begin(), "openssl");
        const ProcessResult result = RunProcess(args);
        opensslOut_ = Trimmed(result.out);
        return result.exitCode;
    }
    // Whether openssl accepts the raw r||s signature over the file's content.
    bool OpensslVerifies(const std::string& sigHex, const std::string& path) {
        const auto raw = UpdateSignature::DecodeRawSignature(sigHex);
        if (!raw) return false;
        const auto der = UpdateSignature::RawSignatureToDer(*raw);
        WriteFile(dir_.File("sig.der"), std::string(der.begin(), der.end()));
        return Openssl({"dgst", "-sha256", "-verify", pub_, "-signature", dir_.File("sig.der"),
                        path}) == 0 &&
               opensslOut_ == "Verified OK";
    }
    // The manifest evaluated with the public key as the tool reads it from openssl's file.
    bool Accepted(const std::string& json, UpdateCore::UpdateManifestInfo& out) {
        const std::vector<uint8_t> blob =
            UpdateSignature::DecodeHex(Trimmed(Tool({"pubkey", pub_}).out));
        auto key = UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
        const auto verify = [&key](const std::string& p, const std::string& s) {
            return UpdateSignature::VerifyP256(key.get(), p, s);
        };
        return UpdateCore::EvaluateManifest(verify, json, "linux-free", "1.0.1", out);
    }

    UpdateTest::TempDir dir_;
    const std::string key_ = dir_.File("key.pem"), pub_ = dir_.File("pub.pem");
    const std::string payloadPath_ = dir_.File("payload");
    const std::string payload_ =
        UpdateCore::BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl);
    std::string opensslOut_;
};

}  // namespace

TEST_F(SignTool, SignaturesCrossBetweenOpensslAndTheToolBothWays) {
    ASSERT_EQ(Openssl({"dgst", "-sha256", "-sign", key_, "-out", dir_.File("o.der"), payloadPath_}),
              0);
    const std::string der = Slurp(dir_.File("o.der"));
    const auto raw = QuillonSign::DerSignatureToRaw(std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_TRUE(raw);
    const std::string sig = UpdateSignature::EncodeHex(raw->data(), raw->size());
    UpdateCore::UpdateManifestInfo out;
    EXPECT_TRUE(Accepted(std::string("{\"sig\":\"") + sig +
                             "\",\"tier\":\"linux-free\",\"version\":\"1.0.2\",\"sha256\":\"" +
                             kSha + "\",\"url\":\"" + kUrl + "\"}",
                         out));

    const ProcessResult signedByTool = Tool({"sign", key_, payloadPath_});
    ASSERT_EQ(signedByTool.exitCode, 0) << signedByTool.err;
    EXPECT_TRUE(OpensslVerifies(Trimmed(signedByTool.out), payloadPath_));
    WriteFile(dir_.File("changed"), payload_ + "\n");
    EXPECT_FALSE(OpensslVerifies(Trimmed(signedByTool.out), dir_.File("changed")));

    // The manifest command signs only what the updater accepts.
    const ProcessResult made = Tool({"manifest", key_, "linux-free", "1.0.2", kUrl, kSha});
    ASSERT_TRUE(Accepted(made.out, out)) << made.out << made.err;
    EXPECT_EQ(out.url, kUrl);
    EXPECT_TRUE(OpensslVerifies(out.sig, payloadPath_));
    const std::vector<std::string> refused[] = {{key_, "linux-free", "1.0", kUrl, kSha},
                                                {key_, "linux-free", "1.0.2", "http://x/y", kSha},
                                                {key_, "linux-free", "1.0.2", kUrl, "A"},
                                                {key_, "windows", "1.0.2", kUrl, kSha},
                                                {pub_, "linux-free", "1.0.2", kUrl, kSha}};
    for (std::vector<std::string> args : refused) {
        args.insert(args.begin(), "manifest");
        const ProcessResult refusal = Tool(args);
        EXPECT_EQ(refusal.exitCode, 1) << args[2] << " " << args[3] << " " << args[4];
        EXPECT_EQ(refusal.out, "");
        EXPECT_NE(refusal.err, "");
    }
}

TEST_F(SignTool, KeysBlobsAndPins) {
    const std::string fresh = dir_.File("fresh.pem");
    const ProcessResult made = Tool({"genkey", fresh});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Trimmed(made.out).substr(0, 16), "4543533120000000");
    EXPECT_EQ(Trimmed(Tool({"pubkey", fresh}).out), Trimmed(made.out));
    const std::string before = Slurp(fresh);
    EXPECT_EQ(Tool({"genkey", fresh}).exitCode, 1) << "an existing file is never replaced";
    EXPECT_EQ(Slurp(fresh), before);

    // The blob carries the point openssl prints, and the pin is the point's SHA-1.
    ASSERT_EQ(Openssl({"pkey", "-pubin", "-in", pub_, "-outform", "DER", "-out", dir_.File("d")}),
              0);
    const std::string spki = Slurp(dir_.File("d"));
    ASSERT_GE(spki.size(), 65u);
    WriteFile(dir_.File("point"), spki.substr(spki.size() - 65));
    EXPECT_EQ(Trimmed(Tool({"pubkey", pub_}).out),
              "4543533120000000" +
                  UpdateSignature::EncodeHex(
                      reinterpret_cast<const uint8_t*>(spki.data()) + spki.size() - 64, 64));
    ASSERT_EQ(Openssl({"dgst", "-sha1", "-r", dir_.File("point")}), 0);
    EXPECT_EQ(Trimmed(Tool({"pin", pub_}).out), opensslOut_.substr(0, 40));

    // Keys it cannot use and commands it does not know; the development pair matches.
    WriteFile(dir_.File("junk.pem"), "not a key\n");
    ASSERT_EQ(Openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384", "-out",
                       dir_.File("p384.pem")}),
              0);
    EXPECT_NE(Tool({"pubkey", dir_.File("p384.pem")}).err.find("not a P-256 key"),
              std::string::npos);
    for (const char* file : {"junk.pem", "absent.pem", "p384.pem"}) {
        EXPECT_EQ(Tool({"pubkey", dir_.File(file)}).exitCode, 1) << file;
    }
    for (const std::vector<std::string>& usage :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"sign", key_}}) {
        EXPECT_EQ(Tool(usage).exitCode, 2);
    }
    const ProcessResult devPublic = Tool({"pubkey", kDevKey + "public.pem"});
    ASSERT_EQ(devPublic.exitCode, 0) << devPublic.err;
    EXPECT_EQ(Tool({"pubkey", kDevKey + "private.pem"}).out, devPublic.out);
}

// The tool's standard vectors, a key line and a case with a value changed after signing pass in
// the program's own self-test.
TEST_F(SignTool, VectorLinesPassTheProgramsSelfTest) {
    const ProcessResult standard = Tool({"vectors", kDevKey + "private.pem"});
    const ProcessResult keyLine = Tool({"vector-key", pub_});
    const ProcessResult tampered =
        Tool({"vector-case", key_, "--name", "tampered", "--tier", "linux-free", "--version",
              "1.0.5", "--url", kUrl, "--sha256", kSha, "--expected-tier", "linux-free",
              "--own-version", "1.0.1", "--written", "sha256=" + std::string(64, 'e')});
    EXPECT_EQ(Tool({"vector-case", key_, "--written", "name=x"}).exitCode, 1);
    WriteFile(dir_.File("vectors"), standard.out + keyLine.out + tampered.out);
    const ProcessResult run =
        RunProcess({"env", "DISPLAY=", QLN_APP_PATH, "--selftest-update=" + dir_.File("vectors")});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("PASS tampered\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos);
}
