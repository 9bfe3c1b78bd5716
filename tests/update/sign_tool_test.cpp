// Runs the publisher tool and the openssl command-line tool as real processes: signatures must
// cross between them in both directions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/update/test_support.h"
#include "tools/quillon-sign/signer.h"
#include "update/manifest.h"
#include "update/selftest.h"
#include "update/signature.h"

using UpdateTest::ReadFile;
using UpdateTest::RunProcess;
using UpdateTest::WriteFile;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://api.quillon.app/download/pro";

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class SignTool : public ::testing::Test {
protected:
    void SetUp() override {
        keyPem_ = dir_.File("key.pem");
        pubPem_ = dir_.File("pub.pem");
        ASSERT_EQ(Openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                           "-out", keyPem_}),
                  0);
        ASSERT_EQ(Openssl({"pkey", "-in", keyPem_, "-pubout", "-out", pubPem_}), 0);
    }

    int Openssl(std::vector<std::string> args) {
        args.insert(args.begin(), "openssl");
        const UpdateTest::ProcessResult result = RunProcess(args);
        lastOpensslOut_ = result.out;
        return result.exitCode;
    }

    UpdateTest::ProcessResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), QLN_SIGN_TOOL_PATH);
        return RunProcess(args);
    }

    UpdateSignature::P256PublicKey KeyFromTool(const std::string& pem) {
        const UpdateTest::ProcessResult result = Tool({"pubkey", pem});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const std::vector<uint8_t> blob = UpdateSignature::DecodeHex(Trimmed(result.out));
        return UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
    }

    UpdateTest::TempDir dir_;
    std::string keyPem_;
    std::string pubPem_;
    std::string lastOpensslOut_;
};

}  // namespace

TEST_F(SignTool, OpensslSignaturesVerifyInTheUpdater) {
    const std::string payload = UpdateCore::BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl);
    WriteFile(dir_.File("payload"), payload);
    ASSERT_EQ(Openssl({"dgst", "-sha256", "-sign", keyPem_, "-out", dir_.File("sig.der"),
                       dir_.File("payload")}),
              0);
    const std::string der = ReadFile(dir_.File("sig.der"));
    const auto raw = QuillonSign::DerSignatureToRaw(std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_TRUE(raw);
    const std::string sigHex = UpdateSignature::EncodeHex(raw->data(), raw->size());

    auto key = KeyFromTool(pubPem_);
    ASSERT_TRUE(key);
    EXPECT_TRUE(UpdateSignature::VerifyP256(key.get(), payload, sigHex));
    EXPECT_FALSE(UpdateSignature::VerifyP256(key.get(), payload + "x", sigHex));

    const std::string json = std::string("{\"sig\":\"") + sigHex +
                             "\",\"tier\":\"linux-free\",\"version\":\"1.0.2\",\"sha256\":\"" +
                             kSha + "\",\"url\":\"" + kUrl + "\"}";
    UpdateCore::UpdateManifestInfo out;
    EXPECT_TRUE(UpdateCore::EvaluateManifest(
        [&key](const std::string& p, const std::string& s) {
            return UpdateSignature::VerifyP256(key.get(), p, s);
        },
        json, "linux-free", "1.0.1", out));
    EXPECT_EQ(out.sig, sigHex);
}

TEST_F(SignTool, ToolSignaturesVerifyWithOpenssl) {
    const std::string payload = UpdateCore::BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl);
    WriteFile(dir_.File("payload"), payload);
    const UpdateTest::ProcessResult signed_ = Tool({"sign", keyPem_, dir_.File("payload")});
    ASSERT_EQ(signed_.exitCode, 0) << signed_.err;
    const auto raw = UpdateSignature::DecodeRawSignature(Trimmed(signed_.out));
    ASSERT_TRUE(raw) << signed_.out;
    const std::vector<uint8_t> der = UpdateSignature::RawSignatureToDer(*raw);
    WriteFile(dir_.File("sig.der"), std::string(der.begin(), der.end()));

    EXPECT_EQ(Openssl({"dgst", "-sha256", "-verify", pubPem_, "-signature", dir_.File("sig.der"),
                       dir_.File("payload")}),
              0);
    EXPECT_EQ(Trimmed(lastOpensslOut_), "Verified OK");
    WriteFile(dir_.File("payload"), payload + "\n");
    EXPECT_NE(Openssl({"dgst", "-sha256", "-verify", pubPem_, "-signature", dir_.File("sig.der"),
                       dir_.File("payload")}),
              0);
}

TEST_F(SignTool, ManifestCommandMakesAnAcceptedDocument) {
    const UpdateTest::ProcessResult made =
        Tool({"manifest", keyPem_, "linux-free", "1.0.2", kUrl, kSha});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    auto key = KeyFromTool(pubPem_);
    ASSERT_TRUE(key);
    UpdateCore::UpdateManifestInfo out;
    ASSERT_TRUE(UpdateCore::EvaluateManifest(
        [&key](const std::string& p, const std::string& s) {
            return UpdateSignature::VerifyP256(key.get(), p, s);
        },
        made.out, "linux-free", "1.0.1", out))
        << made.out;
    EXPECT_EQ(out.url, kUrl);

    // openssl agrees about the signature inside it.
    const auto raw = UpdateSignature::DecodeRawSignature(out.sig);
    ASSERT_TRUE(raw);
    const std::vector<uint8_t> der = UpdateSignature::RawSignatureToDer(*raw);
    WriteFile(dir_.File("sig.der"), std::string(der.begin(), der.end()));
    WriteFile(dir_.File("payload"),
              UpdateCore::BuildManifestPayload(out.tier, out.version, out.sha256, out.url));
    EXPECT_EQ(Openssl({"dgst", "-sha256", "-verify", pubPem_, "-signature", dir_.File("sig.der"),
                       dir_.File("payload")}),
              0);

    // Fields the updater would refuse are not signed.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"linux-free", "1.0", kUrl, kSha},
             {"linux-free", "1.0.2", "http://quillon.app/x.zip", kSha},
             {"linux-free", "1.0.2", kUrl, std::string(64, 'A')},
             {"windows", "1.0.2", kUrl, kSha}}) {
        std::vector<std::string> args = {"manifest", keyPem_};
        args.insert(args.end(), bad.begin(), bad.end());
        const UpdateTest::ProcessResult refused = Tool(args);
        EXPECT_EQ(refused.exitCode, 1) << bad[0] << " " << bad[1] << " " << bad[2];
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err, "");
    }
    // A public key cannot sign.
    EXPECT_EQ(Tool({"manifest", pubPem_, "linux-free", "1.0.2", kUrl, kSha}).exitCode, 1);
}

TEST_F(SignTool, KeyGenerationBlobAndPin) {
    const std::string fresh = dir_.File("fresh.pem");
    const UpdateTest::ProcessResult made = Tool({"genkey", fresh});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string blobHex = Trimmed(made.out);
    EXPECT_EQ(blobHex.size(), 144u);
    EXPECT_EQ(blobHex.substr(0, 16), "4543533120000000");
    EXPECT_EQ(Trimmed(Tool({"pubkey", fresh}).out), blobHex);

    // An existing file is never replaced.
    const std::string before = ReadFile(fresh);
    EXPECT_EQ(Tool({"genkey", fresh}).exitCode, 1);
    EXPECT_EQ(ReadFile(fresh), before);

    // The blob carries the same point openssl prints, and the pin is its SHA-1.
    ASSERT_EQ(Openssl({"pkey", "-pubin", "-in", pubPem_, "-outform", "DER", "-out",
                       dir_.File("pub.der")}),
              0);
    const std::string spki = ReadFile(dir_.File("pub.der"));
    ASSERT_GE(spki.size(), 65u);
    const std::string point = spki.substr(spki.size() - 65);
    WriteFile(dir_.File("point"), point);
    const std::string pubBlob = Trimmed(Tool({"pubkey", pubPem_}).out);
    EXPECT_EQ(pubBlob.substr(16),
              UpdateSignature::EncodeHex(reinterpret_cast<const uint8_t*>(point.data()) + 1, 64));
    ASSERT_EQ(Openssl({"dgst", "-sha1", "-r", dir_.File("point")}), 0);
    EXPECT_EQ(Trimmed(Tool({"pin", pubPem_}).out), lastOpensslOut_.substr(0, 40));
}

TEST_F(SignTool, RefusesKeysItCannotUse) {
    WriteFile(dir_.File("junk.pem"), "not a key\n");
    EXPECT_EQ(Tool({"pubkey", dir_.File("junk.pem")}).exitCode, 1);
    EXPECT_EQ(Tool({"pubkey", dir_.File("absent.pem")}).exitCode, 1);
    ASSERT_EQ(Openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384", "-out",
                       dir_.File("p384.pem")}),
              0);
    const UpdateTest::ProcessResult p384 = Tool({"pubkey", dir_.File("p384.pem")});
    EXPECT_EQ(p384.exitCode, 1);
    EXPECT_NE(p384.err.find("not a P-256 key"), std::string::npos);
    EXPECT_EQ(Tool({}).exitCode, 2);
    EXPECT_EQ(Tool({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(Tool({"sign", keyPem_}).exitCode, 2);
}

TEST_F(SignTool, VectorLinesDriveTheSelfTest) {
    const UpdateTest::ProcessResult standard = Tool({"vectors", keyPem_});
    ASSERT_EQ(standard.exitCode, 0) << standard.err;
    const UpdateTest::ProcessResult keyLine = Tool({"vector-key", pubPem_});
    const UpdateTest::ProcessResult tampered = Tool(
        {"vector-case", keyPem_, "--name", "tampered sha", "--tier", "linux-free", "--version",
         "1.0.5", "--url", kUrl, "--sha256", kSha, "--expected-tier", "linux-free", "--own-version",
         "1.0.1", "--written", std::string("sha256=") + std::string(64, 'e')});
    const UpdateTest::ProcessResult accepted = Tool(
        {"vector-case", keyPem_, "--expect", "--tier", "linux-free", "--version", "1.0.5", "--url",
         kUrl, "--sha256", kSha, "--expected-tier", "linux-free", "--own-version", "1.0.1"});
    ASSERT_EQ(tampered.exitCode, 0) << tampered.err;
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
    EXPECT_EQ(Tool({"vector-case", keyPem_, "--written", "name=x"}).exitCode, 1);

    WriteFile(dir_.File("vectors.txt"), standard.out + keyLine.out + tampered.out + accepted.out);
    std::string report;
    EXPECT_TRUE(RunUpdateSelfTest(dir_.File("vectors.txt"), report)) << report;
    EXPECT_NE(report.find("PASS tampered sha\n"), std::string::npos);
    EXPECT_NE(report.find("PASS case 11\n"), std::string::npos) << report;

    // The same tampered line expecting acceptance fails.
    std::string wrong = tampered.out;
    wrong.replace(wrong.find("\"expect\":false"), 14, "\"expect\":true");
    WriteFile(dir_.File("vectors.txt"), keyLine.out + wrong);
    EXPECT_FALSE(RunUpdateSelfTest(dir_.File("vectors.txt"), report));
    EXPECT_NE(report.find("FAIL tampered sha\n"), std::string::npos);
}

TEST(DevelopmentKeys, PairMatchesAndIsMarked) {
    const std::string dir = QLN_DEV_KEYS_DIR;
    const std::string priv = dir + "/DEVELOPMENT-ONLY-release-private.pem";
    const std::string pub = dir + "/DEVELOPMENT-ONLY-release-public.pem";
    const UpdateTest::ProcessResult fromPrivate = RunProcess({QLN_SIGN_TOOL_PATH, "pubkey", priv});
    const UpdateTest::ProcessResult fromPublic = RunProcess({QLN_SIGN_TOOL_PATH, "pubkey", pub});
    ASSERT_EQ(fromPrivate.exitCode, 0) << fromPrivate.err;
    EXPECT_EQ(fromPrivate.out, fromPublic.out);
    EXPECT_NE(ReadFile(dir + "/README.md").find("DEVELOPMENT ONLY"), std::string::npos);
}
