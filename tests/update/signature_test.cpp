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

#include <functional>

using namespace UpdateSignature;
using UpdateTest::WriteFile;

// Random components encode as OpenSSL encodes them. Fresh signatures verify through the blob:
// among so many, some r or s starts with a zero byte and must still fill 64 digits.
TEST(Signature, DerMatchesOpenSslAndFreshSignaturesVerify) {
    QuillonSign::Key signer = QuillonSign::GenerateKey();
    const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer.get());
    auto key = ImportP256PublicBlob(blob.data(), blob.size());
    ASSERT_TRUE(key);
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
        const std::string message = "QLN-UPDATE-1|linux-free|1.0." + std::to_string(round);
        const std::string signature = QuillonSign::SignRawHex(signer.get(), message);
        EXPECT_TRUE(VerifyP256(key.get(), message, signature) &&
                    !VerifyP256(key.get(), message + " ", signature));
    }
}

// The published vectors and changed copies of them, in p256.txt.
TEST(Signature, PublishedVectorsVerifyInBothSForms) {
    P256PublicKey key;
    int cases = 0;
    for (const std::string& line : Split(Slurp(QLN_VECTORS_DIR "/../p256.txt"), "\n")) {
        const size_t message = line.find(' ') + 1, sig = line.find(' ', message) + 1;
        if (line.starts_with("key ")) {
            const std::vector<uint8_t> blob = DecodeHex(line.substr(4));
            key = ImportP256PublicBlob(blob.data(), blob.size());
            ASSERT_TRUE(key);
        } else if (line.starts_with("+ ") || line.starts_with("- ")) {
            const std::string text = line.substr(message, sig - message - 1);
            EXPECT_EQ(VerifyP256(key.get(), text, line.substr(sig)), line[0] == '+') << line;
            ++cases;
        }
    }
    EXPECT_GE(cases, 30);
    EXPECT_FALSE(VerifyP256(nullptr, "sample", std::string(128, '0')));
}

// Keys made by openssl: what the tool signs openssl verifies, what openssl signs the updater
// accepts, the blob carries the point openssl prints and the pin is the point's SHA-1. A new key
// is private to its owner, never replaces a file, and must be of the right curve.
TEST(SignTool, CrossesWithOpensslAndKeepsKeysPrivate) {
    const UpdateTest::TempDir dir;
    const auto run = [&dir](const std::string& command) {
        return UpdateTest::Shell("cd " + dir.path + " && " + command);
    };
    const std::string tool = QLN_SIGN_TOOL_PATH, sha(64, 'e'), url = "https://quillon.app/q.zip";
    run("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out key.pem && "
        "openssl pkey -in key.pem -pubout -out pub.pem");
    WriteFile(dir.File("payload"),
              UpdateCore::BuildManifestPayload("linux-free", "1.0.2", sha, url));
    WriteFile(dir.File("changed"), Slurp(dir.File("payload")) + "\n");
    const std::vector<uint8_t> blob = DecodeHex(run(tool + " pubkey pub.pem"));
    auto publicKey = ImportP256PublicBlob(blob.data(), blob.size());
    const auto accepted = [&](const std::string& json) {
        UpdateCore::UpdateManifestInfo out;
        const auto verify = std::bind_front(VerifyP256, publicKey.get());
        return UpdateCore::EvaluateManifest(verify, json, "linux-free", "1.0.1", out) ? out.sig
                                                                                      : "";
    };
    const auto opensslVerifies = [&](const std::string& sig, const std::string& file) {
        const auto der =
            RawSignatureToDer(DecodeRawSignature(sig).value_or(std::array<uint8_t, 64>{}));
        WriteFile(dir.File("sig.der"), std::string(der.begin(), der.end()));
        return run("openssl dgst -sha256 -verify pub.pem -signature sig.der " + file) ==
               "Verified OK";
    };
    run("openssl dgst -sha256 -sign key.pem -out o.der payload");
    const std::string der = Slurp(dir.File("o.der"));
    const auto raw = QuillonSign::DerSignatureToRaw(std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_TRUE(raw);
    EXPECT_NE(accepted("{\"sig\":\"" + EncodeHex(raw->data(), raw->size()) +
                       "\",\"tier\":\"linux-free\",\"version\":\"1.0.2\",\"sha256\":\"" + sha +
                       "\",\"url\":\"" + url + "\"}"),
              "");
    const std::string sig = run(tool + " sign key.pem payload");
    EXPECT_TRUE(opensslVerifies(sig, "payload"));
    EXPECT_FALSE(opensslVerifies(sig, "changed"));
    // The manifest command signs what the updater accepts.
    EXPECT_TRUE(opensslVerifies(
        accepted(run(tool + " manifest key.pem linux-free 1.0.2 " + url + " " + sha)), "payload"));
    run("openssl pkey -pubin -in pub.pem -outform DER -out spki");
    const std::string spki = Slurp(dir.File("spki"));
    ASSERT_GE(spki.size(), 65u);
    WriteFile(dir.File("point"), spki.substr(spki.size() - 65));
    EXPECT_EQ(EncodeHex(blob.data(), blob.size()),
              "4543533120000000" +
                  EncodeHex(reinterpret_cast<const uint8_t*>(spki.data()) + spki.size() - 64, 64));
    EXPECT_EQ(run(tool + " pin pub.pem"), run("openssl dgst -sha1 -r point").substr(0, 40));

    const std::string fresh = run(tool + " genkey fresh.pem"),
                      before = Slurp(dir.File("fresh.pem"));
    EXPECT_EQ(std::filesystem::status(dir.File("fresh.pem")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(run(tool + " pubkey fresh.pem"), fresh);
    EXPECT_EQ(run(tool + " genkey fresh.pem > /dev/null; echo $?"), "1");
    EXPECT_EQ(Slurp(dir.File("fresh.pem")), before);
    run("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out p384.pem");
    EXPECT_EQ(run(tool + " pubkey p384.pem > /dev/null; echo $?"), "1");
}
