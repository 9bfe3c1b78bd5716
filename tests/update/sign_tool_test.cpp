// Runs the publisher tool and the openssl command-line tool as real processes: signatures must
// cross between them in both directions.
#include "tests/update/update_test.h"
#include "tools/quillon-sign/signer.h"
#include "update/manifest.h"
#include "update/selftest.h"
#include "update/signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using UpdateTest::ProcessResult;
using UpdateTest::RunProcess;
using UpdateTest::WriteFile;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://api.quillon.app/download/pro";

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
                           "-out", keyPem_}),
                  0);
        ASSERT_EQ(Openssl({"pkey", "-in", keyPem_, "-pubout", "-out", pubPem_}), 0);
        WriteFile(payloadPath_, payload_);
    }

    int Openssl(std::vector<std::string> args) {
        args.insert(args.begin(), "openssl");
        const ProcessResult result = RunProcess(args);
        lastOpensslOut_ = result.out;
        return result.exitCode;
    }

    // Whether openssl accepts the raw r||s signature over the file's content.
    bool OpensslVerifies(const std::string& sigHex, const std::string& path) {
        const auto raw = UpdateSignature::DecodeRawSignature(sigHex);
        if (!raw) return false;
        const std::vector<uint8_t> der = UpdateSignature::RawSignatureToDer(*raw);
        WriteFile(dir_.File("sig.der"), std::string(der.begin(), der.end()));
        return Openssl({"dgst", "-sha256", "-verify", pubPem_, "-signature", dir_.File("sig.der"),
                        path}) == 0 &&
               Trimmed(lastOpensslOut_) == "Verified OK";
    }

    // The manifest evaluated with the public key as the tool reads it from openssl's file.
    bool Accepted(const std::string& json, UpdateCore::UpdateManifestInfo& out) {
        const ProcessResult result = Tool({"pubkey", pubPem_});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const std::vector<uint8_t> blob = UpdateSignature::DecodeHex(Trimmed(result.out));
        auto key = UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
        const auto verify = [&key](const std::string& p, const std::string& s) {
            return UpdateSignature::VerifyP256(key.get(), p, s);
        };
        return UpdateCore::EvaluateManifest(verify, json, "linux-free", "1.0.1", out);
    }

    UpdateTest::TempDir dir_;
    const std::string keyPem_ = dir_.File("key.pem"), pubPem_ = dir_.File("pub.pem");
    const std::string payloadPath_ = dir_.File("payload");
    const std::string payload_ =
        UpdateCore::BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl);
    std::string lastOpensslOut_;
};

}  // namespace

TEST_F(SignTool, SignaturesCrossBetweenOpensslAndTheToolBothWays) {
    ASSERT_EQ(Openssl({"dgst", "-sha256", "-sign", keyPem_, "-out", dir_.File("openssl.der"),
                       payloadPath_}),
              0);
    const std::string der = Slurp(dir_.File("openssl.der"));
    const auto raw = QuillonSign::DerSignatureToRaw(std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_TRUE(raw);
    const std::string opensslSig = UpdateSignature::EncodeHex(raw->data(), raw->size());
    UpdateCore::UpdateManifestInfo out;
    EXPECT_TRUE(Accepted(std::string("{\"sig\":\"") + opensslSig +
                             "\",\"tier\":\"linux-free\",\"version\":\"1.0.2\",\"sha256\":\"" +
                             kSha + "\",\"url\":\"" + kUrl + "\"}",
                         out));
    EXPECT_EQ(out.sig, opensslSig);

    const ProcessResult signedByTool = Tool({"sign", keyPem_, payloadPath_});
    ASSERT_EQ(signedByTool.exitCode, 0) << signedByTool.err;
    EXPECT_TRUE(OpensslVerifies(Trimmed(signedByTool.out), payloadPath_));
    WriteFile(dir_.File("changed"), payload_ + "\n");
    EXPECT_FALSE(OpensslVerifies(Trimmed(signedByTool.out), dir_.File("changed")));
}

TEST_F(SignTool, ManifestCommandSignsOnlyWhatTheUpdaterAccepts) {
    const ProcessResult made = Tool({"manifest", keyPem_, "linux-free", "1.0.2", kUrl, kSha});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    UpdateCore::UpdateManifestInfo out;
    ASSERT_TRUE(Accepted(made.out, out)) << made.out;
    EXPECT_EQ(out.url, kUrl);
    EXPECT_TRUE(OpensslVerifies(out.sig, payloadPath_));

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"linux-free", "1.0", kUrl, kSha},
             {"linux-free", "1.0.2", "http://quillon.app/x.zip", kSha},
             {"linux-free", "1.0.2", kUrl, std::string(64, 'A')},
             {"windows", "1.0.2", kUrl, kSha}}) {
        std::vector<std::string> args = {"manifest", keyPem_};
        args.insert(args.end(), bad.begin(), bad.end());
        const ProcessResult refused = Tool(args);
        EXPECT_EQ(refused.exitCode, 1) << bad[0] << " " << bad[1] << " " << bad[2];
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err, "");
    }
    // A public key cannot sign.
    EXPECT_EQ(Tool({"manifest", pubPem_, "linux-free", "1.0.2", kUrl, kSha}).exitCode, 1);
}

TEST_F(SignTool, KeyGenerationBlobAndPin) {
    const std::string fresh = dir_.File("fresh.pem");
    const ProcessResult made = Tool({"genkey", fresh});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string blobHex = Trimmed(made.out);
    EXPECT_EQ(blobHex.size(), 144u);
    EXPECT_EQ(blobHex.substr(0, 16), "4543533120000000");
    EXPECT_EQ(Trimmed(Tool({"pubkey", fresh}).out), blobHex);
    // An existing file is never replaced.
    const std::string before = Slurp(fresh);
    EXPECT_EQ(Tool({"genkey", fresh}).exitCode, 1);
    EXPECT_EQ(Slurp(fresh), before);

    // The blob carries the same point openssl prints, and the pin is its SHA-1.
    ASSERT_EQ(Openssl({"pkey", "-pubin", "-in", pubPem_, "-outform", "DER", "-out",
                       dir_.File("pub.der")}),
              0);
    const std::string spki = Slurp(dir_.File("pub.der"));
    ASSERT_GE(spki.size(), 65u);
    const std::string point = spki.substr(spki.size() - 65);
    WriteFile(dir_.File("point"), point);
    EXPECT_EQ(Trimmed(Tool({"pubkey", pubPem_}).out).substr(16),
              UpdateSignature::EncodeHex(reinterpret_cast<const uint8_t*>(point.data()) + 1, 64));
    ASSERT_EQ(Openssl({"dgst", "-sha1", "-r", dir_.File("point")}), 0);
    EXPECT_EQ(Trimmed(Tool({"pin", pubPem_}).out), lastOpensslOut_.substr(0, 40));
}

TEST_F(SignTool, RefusesKeysAndCommandsItCannotUse) {
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
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"sign", keyPem_}}) {
        EXPECT_EQ(Tool(usage).exitCode, 2);
    }
    // The development key pair matches, and says what it is.
    const std::string dev = std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-";
    const ProcessResult fromPrivate = Tool({"pubkey", dev + "private.pem"});
    ASSERT_EQ(fromPrivate.exitCode, 0) << fromPrivate.err;
    EXPECT_EQ(fromPrivate.out, Tool({"pubkey", dev + "public.pem"}).out);
    EXPECT_NE(Slurp(std::string(QLN_DEV_KEYS_DIR) + "/README.md").find("DEVELOPMENT ONLY"),
              std::string::npos);
}

TEST_F(SignTool, VectorLinesDriveTheSelfTest) {
    const ProcessResult standard = Tool({"vectors", keyPem_});
    ASSERT_EQ(standard.exitCode, 0) << standard.err;
    const ProcessResult keyLine = Tool({"vector-key", pubPem_});
    const std::vector<std::string> fields = {
        "--tier",   "linux-free", "--version",       "1.0.5",      "--url",         kUrl,
        "--sha256", kSha,         "--expected-tier", "linux-free", "--own-version", "1.0.1"};
    std::vector<std::string> tamperedArgs = {"vector-case", keyPem_, "--name", "tampered sha"};
    tamperedArgs.insert(tamperedArgs.end(), fields.begin(), fields.end());
    tamperedArgs.insert(tamperedArgs.end(), {"--written", "sha256=" + std::string(64, 'e')});
    std::vector<std::string> acceptedArgs = {"vector-case", keyPem_, "--expect"};
    acceptedArgs.insert(acceptedArgs.end(), fields.begin(), fields.end());
    const ProcessResult tampered = Tool(tamperedArgs);
    const ProcessResult accepted = Tool(acceptedArgs);
    ASSERT_EQ(tampered.exitCode, 0) << tampered.err;
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
    EXPECT_EQ(Tool({"vector-case", keyPem_, "--written", "name=x"}).exitCode, 1);

    const std::string path = dir_.File("vectors.txt");
    WriteFile(path, standard.out + keyLine.out + tampered.out + accepted.out);
    std::string report;
    EXPECT_TRUE(RunUpdateSelfTest(path, report)) << report;
    EXPECT_NE(report.find("PASS tampered sha\n"), std::string::npos);
    EXPECT_NE(report.find("PASS case 11\n"), std::string::npos) << report;
}
