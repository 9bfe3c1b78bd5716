#include "update/signature.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/rand.h>

#include <array>
#include <cctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tools/quillon-sign/signer.h"

using UpdateSignature::DecodeHex;
using UpdateSignature::DecodeRawSignature;
using UpdateSignature::EncodeHex;
using UpdateSignature::ImportP256PublicBlob;
using UpdateSignature::RawSignatureToDer;
using UpdateSignature::VerifyP256;

namespace {

// RFC 6979, appendix A.2.5: ECDSA over P-256 with SHA-256.
constexpr char kRfcPublicX[] = "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6";
constexpr char kRfcPublicY[] = "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
constexpr char kRfcSampleSig[] =
    "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716"
    "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8";
constexpr char kRfcTestSig[] =
    "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367"
    "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083";
// Order of the P-256 group.
constexpr char kGroupOrder[] = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";

std::vector<uint8_t> BlobFromCoordinates(const std::string& xHex, const std::string& yHex) {
    std::vector<uint8_t> blob = {'E', 'C', 'S', '1', 32, 0, 0, 0};
    const std::vector<uint8_t> x = DecodeHex(xHex);
    const std::vector<uint8_t> y = DecodeHex(yHex);
    blob.insert(blob.end(), x.begin(), x.end());
    blob.insert(blob.end(), y.begin(), y.end());
    return blob;
}

UpdateSignature::P256PublicKey RfcKey() {
    const std::vector<uint8_t> blob = BlobFromCoordinates(kRfcPublicX, kRfcPublicY);
    return ImportP256PublicBlob(blob.data(), blob.size());
}

// The same signature with s replaced by n - s: the other valid form.
std::string WithNegatedS(const std::string& sigHex) {
    BIGNUM* n = nullptr;
    BIGNUM* s = nullptr;
    BN_hex2bn(&n, kGroupOrder);
    BN_hex2bn(&s, sigHex.substr(64).c_str());
    BN_sub(s, n, s);
    std::array<uint8_t, 32> bytes{};
    BN_bn2binpad(s, bytes.data(), 32);
    BN_free(n);
    BN_free(s);
    return sigHex.substr(0, 64) + EncodeHex(bytes.data(), bytes.size());
}

std::string FlipHexDigit(std::string hex, size_t at) {
    hex[at] = hex[at] == '0' ? '1' : '0';
    return hex;
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

TEST(Signature, HexDecoding) {
    EXPECT_EQ(DecodeHex("00ff7Fa0"), (std::vector<uint8_t>{0x00, 0xff, 0x7f, 0xa0}));
    EXPECT_TRUE(DecodeHex("").empty());
    EXPECT_TRUE(DecodeHex("abc").empty());
    EXPECT_TRUE(DecodeHex("0g").empty());
    EXPECT_TRUE(DecodeHex("00 1").empty());
    EXPECT_TRUE(DecodeHex("0x00").empty());
    EXPECT_EQ(EncodeHex(DecodeHex("00ABcd").data(), 3), "00abcd");
}

TEST(Signature, RawSignatureMustBeExactly128HexDigits) {
    const std::string good = kRfcSampleSig;
    EXPECT_TRUE(DecodeRawSignature(good).has_value());
    EXPECT_FALSE(DecodeRawSignature(good.substr(0, 127)).has_value());
    EXPECT_FALSE(DecodeRawSignature(good.substr(0, 126)).has_value());
    EXPECT_FALSE(DecodeRawSignature(good + "00").has_value());
    EXPECT_FALSE(DecodeRawSignature(good + "0").has_value());
    std::string nonHex = good;
    nonHex[77] = 'g';
    EXPECT_FALSE(DecodeRawSignature(nonHex).has_value());
    nonHex[77] = ' ';
    EXPECT_FALSE(DecodeRawSignature(nonHex).has_value());
    EXPECT_FALSE(DecodeRawSignature("").has_value());

    // The verifier refuses them all, with a valid key and message.
    auto key = RfcKey();
    ASSERT_TRUE(key);
    EXPECT_TRUE(VerifyP256(key.get(), "sample", good));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", good.substr(0, 127)));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", good + "00"));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", nonHex));
    EXPECT_FALSE(VerifyP256(nullptr, "sample", good));
}

TEST(Signature, DerIntegersAreMinimal) {
    std::array<uint8_t, 64> raw{};
    raw[31] = 0x05;  // r = 5
    raw[32] = 0x80;  // s with its top bit set
    const std::vector<uint8_t> der = RawSignatureToDer(raw);
    ASSERT_EQ(der.size(), 2u + 3u + 2u + 33u);
    EXPECT_EQ(der[0], 0x30);
    EXPECT_EQ(der[1], 38);
    EXPECT_EQ((std::vector<uint8_t>(der.begin() + 2, der.begin() + 5)),
              (std::vector<uint8_t>{0x02, 0x01, 0x05}));
    EXPECT_EQ(der[5], 0x02);
    EXPECT_EQ(der[6], 33);
    EXPECT_EQ(der[7], 0x00);
    EXPECT_EQ(der[8], 0x80);

    // A zero byte stays in front of a byte with its top bit set, and only one.
    std::array<uint8_t, 64> padded{};
    padded[2] = 0x80;
    padded[63] = 0x01;
    const std::vector<uint8_t> der2 = RawSignatureToDer(padded);
    EXPECT_EQ(der2[2], 0x02);
    EXPECT_EQ(der2[3], 31);
    EXPECT_EQ(der2[4], 0x00);
    EXPECT_EQ(der2[5], 0x80);

    // Zero is one zero byte.
    const std::vector<uint8_t> zero = RawSignatureToDer(std::array<uint8_t, 64>{});
    EXPECT_EQ(zero, (std::vector<uint8_t>{0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00}));
}

TEST(Signature, DerMatchesOpenSslEncodingForRandomComponents) {
    for (int round = 0; round < 2000; ++round) {
        std::array<uint8_t, 64> raw{};
        ASSERT_EQ(RAND_bytes(raw.data(), static_cast<int>(raw.size())), 1);
        // Leading zero runs of every length, and top bits set or clear.
        const int zeros = round % 33;
        for (int i = 0; i < zeros; ++i) raw[i] = 0;
        if (round % 3 == 0) raw[32] |= 0x80;
        if (round % 5 == 0 && zeros < 32) raw[zeros] &= 0x7f;
        EXPECT_EQ(RawSignatureToDer(raw), OpenSslDer(raw)) << EncodeHex(raw.data(), raw.size());
    }
}

TEST(Signature, PublishedVectorsVerify) {
    auto key = RfcKey();
    ASSERT_TRUE(key);
    EXPECT_TRUE(VerifyP256(key.get(), "sample", kRfcSampleSig));
    EXPECT_TRUE(VerifyP256(key.get(), "test", kRfcTestSig));
    // Either case of hex.
    std::string upper = kRfcTestSig;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(VerifyP256(key.get(), "test", upper));
    // Other message, swapped signatures, swapped halves.
    EXPECT_FALSE(VerifyP256(key.get(), "sample\n", kRfcSampleSig));
    EXPECT_FALSE(VerifyP256(key.get(), "Sample", kRfcSampleSig));
    EXPECT_FALSE(VerifyP256(key.get(), "test", kRfcSampleSig));
    const std::string s = kRfcSampleSig;
    EXPECT_FALSE(VerifyP256(key.get(), "sample", s.substr(64) + s.substr(0, 64)));
    // Every changed digit breaks it.
    for (size_t at = 0; at < 128; at += 7) {
        EXPECT_FALSE(VerifyP256(key.get(), "sample", FlipHexDigit(s, at))) << at;
    }
}

TEST(Signature, BothSFormsVerifyAsEcdsaDoes) {
    auto key = RfcKey();
    ASSERT_TRUE(key);
    // The RFC's "sample" s is the high form; "test" has the low form.
    const std::string lowSample = WithNegatedS(kRfcSampleSig);
    EXPECT_EQ(lowSample.substr(64),
              "0834e36ad29a83bf2bc9385e491d6099c8fdf9d1ed67aa7ea5f51f93782857a9");
    EXPECT_TRUE(VerifyP256(key.get(), "sample", lowSample));
    EXPECT_TRUE(VerifyP256(key.get(), "test", WithNegatedS(kRfcTestSig)));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", WithNegatedS(kRfcTestSig)));
}

TEST(Signature, OutOfRangeComponentsAreRefused) {
    auto key = RfcKey();
    ASSERT_TRUE(key);
    const std::string s = kRfcSampleSig;
    const std::string zero(64, '0');
    EXPECT_FALSE(VerifyP256(key.get(), "sample", zero + s.substr(64)));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", s.substr(0, 64) + zero));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", std::string(kGroupOrder) + s.substr(64)));
    EXPECT_FALSE(VerifyP256(key.get(), "sample", std::string(128, 'f')));
}

TEST(Signature, PublicBlobImport) {
    std::vector<uint8_t> blob = BlobFromCoordinates(kRfcPublicX, kRfcPublicY);
    EXPECT_TRUE(ImportP256PublicBlob(blob.data(), blob.size()));
    // The coordinate length field is not looked at.
    std::vector<uint8_t> otherLength = blob;
    otherLength[4] = 0;
    EXPECT_TRUE(ImportP256PublicBlob(otherLength.data(), otherLength.size()));

    std::vector<uint8_t> badMagic = blob;
    badMagic[3] = '2';
    EXPECT_FALSE(ImportP256PublicBlob(badMagic.data(), badMagic.size()));
    EXPECT_FALSE(ImportP256PublicBlob(blob.data(), 71));
    std::vector<uint8_t> longer = blob;
    longer.push_back(0);
    EXPECT_FALSE(ImportP256PublicBlob(longer.data(), longer.size()));
    EXPECT_FALSE(ImportP256PublicBlob(nullptr, 72));

    // Points that are not on the curve.
    std::vector<uint8_t> offCurve = blob;
    offCurve[71] ^= 0x01;
    EXPECT_FALSE(ImportP256PublicBlob(offCurve.data(), offCurve.size()));
    std::vector<uint8_t> zeros(72, 0);
    std::copy(blob.begin(), blob.begin() + 8, zeros.begin());
    EXPECT_FALSE(ImportP256PublicBlob(zeros.data(), zeros.size()));
    std::vector<uint8_t> huge(72, 0xff);
    std::copy(blob.begin(), blob.begin() + 8, huge.begin());
    EXPECT_FALSE(ImportP256PublicBlob(huge.data(), huge.size()));
}

TEST(Signature, FreshKeysRoundTripThroughTheBlob) {
    for (int i = 0; i < 20; ++i) {
        QuillonSign::Key signer = QuillonSign::GenerateKey();
        ASSERT_TRUE(signer);
        const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer.get());
        ASSERT_EQ(blob.size(), 72u);
        auto key = ImportP256PublicBlob(blob.data(), blob.size());
        ASSERT_TRUE(key);
        const std::string message = "QLN-UPDATE-1|linux-free|1.0." + std::to_string(i);
        const std::string sig = QuillonSign::SignRawHex(signer.get(), message);
        ASSERT_EQ(sig.size(), 128u);
        EXPECT_TRUE(VerifyP256(key.get(), message, sig));
        EXPECT_FALSE(VerifyP256(key.get(), message + " ", sig));
    }
}

TEST(Signature, ReleaseKeyIsImportedOnceAndMatchesItsPin) {
    EVP_PKEY* first = UpdateSignature::ReleaseKey();
    ASSERT_NE(first, nullptr);
    std::vector<std::thread> threads;
    std::vector<EVP_PKEY*> seen(8, nullptr);
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = UpdateSignature::ReleaseKey(); });
    }
    for (auto& thread : threads) thread.join();
    for (EVP_PKEY* key : seen) EXPECT_EQ(key, first);
    EXPECT_TRUE(UpdateSignature::ReleaseKeyPinMatches());

    const std::vector<uint8_t> rfcBlob = BlobFromCoordinates(kRfcPublicX, kRfcPublicY);
    const std::string pin = UpdateSignature::PublicPointPin(rfcBlob.data(), rfcBlob.size());
    EXPECT_EQ(pin.size(), 40u);
    std::vector<uint8_t> badMagic = rfcBlob;
    badMagic[0] = 'X';
    EXPECT_EQ(UpdateSignature::PublicPointPin(badMagic.data(), badMagic.size()), "");
}
