// Signatures: the updater's verification against published vectors and OpenSSL's encoding, and
// the publisher tool and the openssl command-line tool as real processes, their signatures
// crossing both ways.
#include "update/signature.h"
#include "tests/update/update_test.h"
#include "tools/quillon-sign/signer.h"
#include "update/manifest.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <thread>

using namespace UpdateSignature;
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

// The tool or openssl, trimmed output; a failure is an empty answer.
std::string Exec(const std::string& program, std::vector<std::string> args,
                 int* exitCode = nullptr) {
    args.insert(args.begin(), program == "tool" ? QLN_SIGN_TOOL_PATH : program);
    const ProcessResult result = RunProcess(args);
    if (exitCode) *exitCode = result.exitCode;
    return result.exitCode == 0 ? Trimmed(result.out) : "";
}

}  // namespace

TEST(Signature, DerMatchesOpenSslEncodingForRandomComponents) {
    for (int round = 0; round < 2000; ++round) {
        std::array<uint8_t, 64> raw{};
        ASSERT_EQ(RAND_bytes(raw.data(), static_cast<int>(raw.size())), 1);
        // Leading zero runs of every length, including all zero, and top bits set or clear.
        const int zeros = round % 33;
        for (int i = 0; i < zeros; ++i) raw[i] = 0;
        if (round % 3 == 0) raw[32] |= 0x80;
        if (round % 5 == 0 && zeros < 32) raw[zeros] &= 0x7f;
        ECDSA_SIG* sig = ECDSA_SIG_new();
        ECDSA_SIG_set0(sig, BN_bin2bn(raw.data(), 32, nullptr),
                       BN_bin2bn(raw.data() + 32, 32, nullptr));
        unsigned char* der = nullptr;
        const int length = i2d_ECDSA_SIG(sig, &der);
        EXPECT_EQ(RawSignatureToDer(raw), std::vector<uint8_t>(der, der + length)) << round;
        OPENSSL_free(der);
        ECDSA_SIG_free(sig);
    }
}

// RFC 6979, appendix A.2.5: ECDSA over P-256 with SHA-256, messages "sample" and "test"; the
// second s of each is n - s, the other valid form of the same signature.
TEST(Signature, PublishedVectorsVerifyInBothSForms) {
    const std::vector<uint8_t> blob = DecodeHex(
        "454353312000000060fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6"
        "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299");
    auto key = ImportP256PublicBlob(blob.data(), blob.size());
    ASSERT_TRUE(key);
    const std::string r1 = "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716";
    const std::string s1 = "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8";
    const std::string s1Low = "0834e36ad29a83bf2bc9385e491d6099c8fdf9d1ed67aa7ea5f51f93782857a9";
    const std::string r2 = "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367";
    const std::string s2 = "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083";
    const std::string s2High = "fe60beeb8bd5d4ec42da6d94b639b6ea5dc07c4cd3965338e6f1887217f424ce";
    const std::string order = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
    const std::pair<std::string, std::string> valid[] = {
        {"sample", r1 + s1}, {"sample", r1 + s1Low}, {"test", r2 + s2}, {"test", r2 + s2High}};
    const std::pair<std::string, std::string> invalid[] = {{"sample\n", r1 + s1},
                                                           {"Sample", r1 + s1},
                                                           {"test", r1 + s1},
                                                           {"sample", s1 + r1},
                                                           {"sample", r2 + s2High},
                                                           {"sample", order + s1},
                                                           {"sample", std::string(64, '0') + s1},
                                                           {"sample", r1 + std::string(64, '0')},
                                                           {"sample", std::string(128, 'f')},
                                                           {"sample", r1 + s1.substr(0, 63) + " "}};
    for (const auto& [message, sig] : valid)
        EXPECT_TRUE(VerifyP256(key.get(), message, sig)) << sig;
    for (const auto& [message, sig] : invalid)
        EXPECT_FALSE(VerifyP256(key.get(), message, sig)) << sig;
    for (size_t at = 0; at < 128; at += 7) {
        std::string flipped = r1 + s1;
        flipped[at] = flipped[at] == '0' ? '1' : '0';
        EXPECT_FALSE(VerifyP256(key.get(), "sample", flipped)) << at;
    }
    EXPECT_FALSE(VerifyP256(nullptr, "sample", r1 + s1));
}

// Enough signatures that some r or s starts with a zero byte and must still fill 64 digits.
TEST(Signature, FreshSignaturesRoundTripThroughTheBlob) {
    QuillonSign::Key signer = QuillonSign::GenerateKey();
    const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer.get());
    auto key = ImportP256PublicBlob(blob.data(), blob.size());
    ASSERT_TRUE(key);
    for (int i = 0; i < 300; ++i) {
        const std::string message = "QLN-UPDATE-1|linux-free|1.0." + std::to_string(i);
        const std::string sig = QuillonSign::SignRawHex(signer.get(), message);
        EXPECT_TRUE(VerifyP256(key.get(), message, sig) &&
                    !VerifyP256(key.get(), message + " ", sig));
    }
}

TEST(Signature, ReleaseKeyIsImportedOnceAndMatchesItsPin) {
    std::vector<EVP_PKEY*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (EVP_PKEY*& slot : seen) threads.emplace_back([&slot] { slot = ReleaseKey(); });
    for (auto& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    for (EVP_PKEY* key : seen) EXPECT_EQ(key, seen[0]);
    EXPECT_TRUE(ReleaseKeyPinMatches());
}

// Keys made by openssl: what the tool signs openssl verifies, what openssl signs the updater
// accepts, the blob carries the point openssl prints and the pin is the point's SHA-1.
TEST(SignTool, CrossesWithOpenssl) {
    const UpdateTest::TempDir dir;
    const std::string key = dir.File("key.pem"), pub = dir.File("pub.pem"),
                      payload = dir.File("payload");
    int code = 1;
    Exec("openssl",
         {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", key},
         &code);
    ASSERT_EQ(code, 0);
    Exec("openssl", {"pkey", "-in", key, "-pubout", "-out", pub});
    WriteFile(payload, UpdateCore::BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl));
    WriteFile(dir.File("changed"), Slurp(payload) + "\n");
    const std::vector<uint8_t> blob = DecodeHex(Exec("tool", {"pubkey", pub}));
    auto publicKey = ImportP256PublicBlob(blob.data(), blob.size());
    const auto accepted = [&](const std::string& json) {
        UpdateCore::UpdateManifestInfo out;
        const auto verify = [&](const std::string& p, const std::string& s) {
            return VerifyP256(publicKey.get(), p, s);
        };
        return UpdateCore::EvaluateManifest(verify, json, "linux-free", "1.0.1", out) ? out.sig
                                                                                      : "";
    };
    const auto opensslVerifies = [&](const std::string& sig, const std::string& path) {
        const auto der = RawSignatureToDer(*DecodeRawSignature(sig));
        WriteFile(dir.File("sig.der"), std::string(der.begin(), der.end()));
        return Exec("openssl", {"dgst", "-sha256", "-verify", pub, "-signature",
                                dir.File("sig.der"), path}) == "Verified OK";
    };
    Exec("openssl", {"dgst", "-sha256", "-sign", key, "-out", dir.File("o.der"), payload});
    const std::string der = Slurp(dir.File("o.der"));
    const auto raw = QuillonSign::DerSignatureToRaw(std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_TRUE(raw);
    EXPECT_NE(accepted("{\"sig\":\"" + EncodeHex(raw->data(), raw->size()) +
                       "\",\"tier\":\"linux-free\","
                       "\"version\":\"1.0.2\",\"sha256\":\"" +
                       kSha + "\",\"url\":\"" + kUrl + "\"}"),
              "");
    const std::string sig = Exec("tool", {"sign", key, payload});
    EXPECT_TRUE(opensslVerifies(sig, payload));
    EXPECT_FALSE(opensslVerifies(sig, dir.File("changed")));
    // The manifest command signs only what the updater accepts.
    const std::string made =
        accepted(Exec("tool", {"manifest", key, "linux-free", "1.0.2", kUrl, kSha}));
    EXPECT_TRUE(opensslVerifies(made, payload));
    for (const std::vector<std::string>& refused :
         std::vector<std::vector<std::string>>{{key, "linux-free", "1.0", kUrl, kSha},
                                               {key, "linux-free", "1.0.2", "http://x/y", kSha},
                                               {key, "linux-free", "1.0.2", kUrl, "A"},
                                               {key, "windows", "1.0.2", kUrl, kSha},
                                               {pub, "linux-free", "1.0.2", kUrl, kSha}}) {
        std::vector<std::string> args = refused;
        args.insert(args.begin(), "manifest");
        EXPECT_EQ(Exec("tool", args, &code), "");
        EXPECT_EQ(code, 1) << args[3] << " " << args[4] << " " << args[5];
    }
    Exec("openssl", {"pkey", "-pubin", "-in", pub, "-outform", "DER", "-out", dir.File("spki")});
    const std::string spki = Slurp(dir.File("spki"));
    ASSERT_GE(spki.size(), 65u);
    WriteFile(dir.File("point"), spki.substr(spki.size() - 65));
    EXPECT_EQ(EncodeHex(blob.data(), blob.size()),
              "4543533120000000" +
                  EncodeHex(reinterpret_cast<const uint8_t*>(spki.data()) + spki.size() - 64, 64));
    EXPECT_EQ(Exec("tool", {"pin", pub}),
              Exec("openssl", {"dgst", "-sha1", "-r", dir.File("point")}).substr(0, 40));
}

// A new key is private to its owner and never replaces a file; keys the tool cannot use and
// commands it does not know are refused; the development pair matches.
TEST(SignTool, KeysAndRefusals) {
    const UpdateTest::TempDir dir;
    const std::string fresh = dir.File("fresh.pem");
    const std::string blob = Exec("tool", {"genkey", fresh});
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Exec("tool", {"pubkey", fresh}), blob);
    const std::string before = Slurp(fresh);
    int code = 0;
    Exec("tool", {"genkey", fresh}, &code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Slurp(fresh), before);
    WriteFile(dir.File("junk.pem"), "not a key\n");
    Exec("openssl", {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384", "-out",
                     dir.File("p384.pem")});
    for (const char* file : {"junk.pem", "absent.pem", "p384.pem"}) {
        EXPECT_EQ(Exec("tool", {"pubkey", dir.File(file)}, &code), "");
        EXPECT_EQ(code, 1) << file;
    }
    for (const std::vector<std::string>& usage :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"sign", fresh}}) {
        Exec("tool", usage, &code);
        EXPECT_EQ(code, 2);
    }
    EXPECT_NE(Exec("tool", {"pubkey", kDevKey + "public.pem"}), "");
    EXPECT_EQ(Exec("tool", {"pubkey", kDevKey + "private.pem"}),
              Exec("tool", {"pubkey", kDevKey + "public.pem"}));
}

// The tool's standard vectors, a key line and a case with a value changed after signing pass in
// the program's own self-test.
TEST(SignTool, VectorLinesPassTheProgramsSelfTest) {
    const UpdateTest::TempDir dir;
    const std::string key = dir.File("key.pem");
    Exec("tool", {"genkey", key});
    const std::string lines =
        Exec("tool", {"vectors", kDevKey + "private.pem"}) + "\n" +
        Exec("tool", {"vector-key", key}) + "\n" +
        Exec("tool", {"vector-case", key, "--name", "tampered", "--tier", "linux-free", "--version",
                      "1.0.5", "--url", kUrl, "--sha256", kSha, "--expected-tier", "linux-free",
                      "--own-version", "1.0.1", "--written", "sha256=" + std::string(64, 'e')});
    int code = 0;
    Exec("tool", {"vector-case", key, "--written", "name=x"}, &code);
    EXPECT_EQ(code, 1);
    WriteFile(dir.File("vectors"), lines + "\n");
    const ProcessResult run =
        RunProcess({"env", "DISPLAY=", QLN_APP_PATH, "--selftest-update=" + dir.File("vectors")});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("PASS tampered\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("FAIL"), std::string::npos);
}
