// Signature decoding and verification against published vectors, OpenSSL's own encoding and
// fresh keys.
#include "update/signature.h"
#include "tools/quillon-sign/signer.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/rand.h>

#include <algorithm>
#include <thread>

using namespace UpdateSignature;

namespace {

// RFC 6979, appendix A.2.5: ECDSA over P-256 with SHA-256, messages "sample" and "test".
constexpr char kRfcPublicX[] = "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6";
constexpr char kRfcPublicY[] = "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
constexpr char kSampleR[] = "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716";
constexpr char kSampleS[] = "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8";
constexpr char kTestR[] = "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367";
constexpr char kTestS[] = "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083";
// n - s for each: the other valid form of the same signature.
constexpr char kSampleOtherS[] = "0834e36ad29a83bf2bc9385e491d6099c8fdf9d1ed67aa7ea5f51f93782857a9";
constexpr char kTestOtherS[] = "fe60beeb8bd5d4ec42da6d94b639b6ea5dc07c4cd3965338e6f1887217f424ce";
constexpr char kGroupOrder[] = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";

const std::vector<uint8_t> kRfcBlob =
    DecodeHex(std::string("4543533120000000") + kRfcPublicX + kRfcPublicY);

P256PublicKey ImportBlob(const std::vector<uint8_t>& blob) {
    return ImportP256PublicBlob(blob.data(), blob.size());
}

std::vector<uint8_t> OpenSslDer(const std::array<uint8_t, 64>& raw) {
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(raw.data(), 32, nullptr),
                   BN_bin2bn(raw.data() + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig, &der);
    std::vector<uint8_t> out(der, der + length);
    OPENSSL_free(der);
    ECDSA_SIG_free(sig);
    return out;
}

}  // namespace

// Signatures of the wrong shape are refused while decoding; the manifest vectors hold the rest.
TEST(Signature, HexAndRawSignatureShapes) {
    EXPECT_EQ(DecodeHex("00ff7Fa0"), (std::vector<uint8_t>{0x00, 0xff, 0x7f, 0xa0}));
    for (const char* bad : {"", "abc", "0g", "00 1", "0x00"}) EXPECT_TRUE(DecodeHex(bad).empty());
    EXPECT_EQ(EncodeHex(DecodeHex("00ABcd").data(), 3), "00abcd");
    std::string blank = std::string(kSampleR) + kSampleS;
    EXPECT_TRUE(DecodeRawSignature(blank).has_value());
    blank[77] = ' ';
    EXPECT_FALSE(DecodeRawSignature(blank).has_value());
    EXPECT_FALSE(VerifyP256(nullptr, "sample", std::string(kSampleR) + kSampleS));
}

TEST(Signature, DerMatchesOpenSslEncodingForRandomComponents) {
    for (int round = 0; round < 2000; ++round) {
        std::array<uint8_t, 64> raw{};
        ASSERT_EQ(RAND_bytes(raw.data(), static_cast<int>(raw.size())), 1);
        // Leading zero runs of every length, including all zero, and top bits set or clear.
        const int zeros = round % 33;
        for (int i = 0; i < zeros; ++i) raw[i] = 0;
        if (round % 3 == 0) raw[32] |= 0x80;
        if (round % 5 == 0 && zeros < 32) raw[zeros] &= 0x7f;
        EXPECT_EQ(RawSignatureToDer(raw), OpenSslDer(raw)) << EncodeHex(raw.data(), raw.size());
    }
}

TEST(Signature, PublishedVectorsVerifyInBothSForms) {
    auto key = ImportBlob(kRfcBlob);
    ASSERT_TRUE(key);
    const std::string r1 = kSampleR, s1 = kSampleS, r2 = kTestR, s2 = kTestS;
    std::string upper = r2 + s2;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    struct Case {
        std::string message, sig;
        bool valid;
    };
    // s in its high and its low form, upper-case digits; then changed messages and parts.
    const Case cases[] = {{"sample", r1 + s1, true},
                          {"sample", r1 + kSampleOtherS, true},
                          {"test", r2 + s2, true},
                          {"test", r2 + kTestOtherS, true},
                          {"test", upper, true},
                          {"sample\n", r1 + s1, false},
                          {"Sample", r1 + s1, false},
                          {"test", r1 + s1, false},
                          {"sample", s1 + r1, false},
                          {"sample", r2 + kTestOtherS, false},
                          {"sample", std::string(64, '0') + s1, false},
                          {"sample", r1 + std::string(64, '0'), false},
                          {"sample", kGroupOrder + s1, false},
                          {"sample", std::string(128, 'f'), false}};
    for (const Case& c : cases)
        EXPECT_EQ(VerifyP256(key.get(), c.message, c.sig), c.valid) << c.sig;
    // Every changed digit breaks it.
    for (size_t at = 0; at < 128; at += 7) {
        std::string flipped = r1 + s1;
        flipped[at] = flipped[at] == '0' ? '1' : '0';
        EXPECT_FALSE(VerifyP256(key.get(), "sample", flipped)) << at;
    }
}

TEST(Signature, PublicBlobImportRefusesOtherShapesAndPoints) {
    const std::vector<uint8_t> blob = kRfcBlob;
    EXPECT_TRUE(ImportBlob(blob));
    std::vector<uint8_t> otherLength = blob;
    otherLength[4] = 0;  // the coordinate length field is not looked at
    EXPECT_TRUE(ImportBlob(otherLength));

    std::vector<uint8_t> badMagic = blob, longer = blob, offCurve = blob;
    badMagic[3] = '2';
    longer.push_back(0);
    offCurve[71] ^= 0x01;
    std::vector<uint8_t> zeros = blob, huge = blob;
    std::fill(zeros.begin() + 8, zeros.end(), 0x00);
    std::fill(huge.begin() + 8, huge.end(), 0xff);
    for (const auto& bad : {badMagic, longer, offCurve, zeros, huge}) EXPECT_FALSE(ImportBlob(bad));
    EXPECT_FALSE(ImportP256PublicBlob(blob.data(), 71));
    EXPECT_FALSE(ImportP256PublicBlob(nullptr, 72));
    EXPECT_EQ(PublicPointPin(badMagic.data(), badMagic.size()), "");
}

// Enough signatures that some r or s starts with a zero byte and must still fill 64 digits.
TEST(Signature, FreshSignaturesRoundTripThroughTheBlob) {
    QuillonSign::Key signer = QuillonSign::GenerateKey();
    const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer.get());
    auto key = ImportBlob(blob);
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
    EXPECT_EQ(ReleaseKey(), seen[0]);
    EXPECT_TRUE(ReleaseKeyPinMatches());
}
