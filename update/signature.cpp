#include "update/signature.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstring>

#include "update/update_config.h"

namespace UpdateSignature {

namespace {

constexpr char kBlobMagic[] = "ECS1";
constexpr size_t kCoordinateSize = 32;
constexpr uint8_t kDerIntegerTag = 0x02;
constexpr uint8_t kDerSequenceTag = 0x30;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One unsigned big-endian component as a minimal DER INTEGER.
void AppendDerInteger(const uint8_t* value, size_t length, std::vector<uint8_t>& out) {
    size_t start = 0;
    while (start + 1 < length && value[start] == 0x00 && (value[start + 1] & 0x80) == 0) ++start;
    const bool needsPad = (value[start] & 0x80) != 0;
    const size_t bodyLength = length - start + (needsPad ? 1 : 0);
    out.push_back(kDerIntegerTag);
    out.push_back(static_cast<uint8_t>(bodyLength));
    if (needsPad) out.push_back(0x00);
    out.insert(out.end(), value + start, value + length);
}

struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

P256PublicKey KeyFromPoint(std::vector<uint8_t>& point) {
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;

    char groupName[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, groupName, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end()};
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) != 1) return nullptr;
    return P256PublicKey(raw);
}

// Rejects points off the curve or of the wrong order before the key is ever used.
bool PassesPublicCheck(EVP_PKEY* key) {
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    return ctx && EVP_PKEY_public_check(ctx.get()) == 1;
}

P256PublicKey ImportReleaseKey() {
    const std::vector<uint8_t> blob = DecodeHex(UpdateConfig::ReleasePublicKeyHex());
    return ImportP256PublicBlob(blob.data(), blob.size());
}

}  // namespace

void PublicKeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

std::vector<uint8_t> DecodeHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return {};
    std::vector<uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string EncodeHex(const uint8_t* bytes, size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return hex;
}

std::optional<std::array<uint8_t, kRawSignatureSize>> DecodeRawSignature(
    std::string_view signatureHex) {
    const std::vector<uint8_t> bytes = DecodeHex(signatureHex);
    if (bytes.size() != kRawSignatureSize) return std::nullopt;
    std::array<uint8_t, kRawSignatureSize> raw{};
    std::memcpy(raw.data(), bytes.data(), raw.size());
    return raw;
}

std::vector<uint8_t> RawSignatureToDer(const std::array<uint8_t, kRawSignatureSize>& raw) {
    std::vector<uint8_t> integers;
    AppendDerInteger(raw.data(), kCoordinateSize, integers);
    AppendDerInteger(raw.data() + kCoordinateSize, kCoordinateSize, integers);
    std::vector<uint8_t> der;
    der.reserve(integers.size() + 2);
    der.push_back(kDerSequenceTag);
    der.push_back(static_cast<uint8_t>(integers.size()));
    der.insert(der.end(), integers.begin(), integers.end());
    return der;
}

std::vector<uint8_t> PublicPointFromBlob(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length != kPublicBlobSize ||
        std::memcmp(bytes, kBlobMagic, std::strlen(kBlobMagic)) != 0) {
        return {};
    }
    std::vector<uint8_t> point;
    point.reserve(kPublicPointSize);
    point.push_back(0x04);
    point.insert(point.end(), bytes + 8, bytes + kPublicBlobSize);
    return point;
}

P256PublicKey ImportP256PublicBlob(const uint8_t* bytes, size_t length) {
    std::vector<uint8_t> point = PublicPointFromBlob(bytes, length);
    if (point.empty()) return nullptr;
    P256PublicKey key = KeyFromPoint(point);
    if (!key || !PassesPublicCheck(key.get())) return nullptr;
    return key;
}

bool VerifyP256(EVP_PKEY* key, std::string_view message, std::string_view signatureHex) {
    const auto raw = DecodeRawSignature(signatureHex);
    if (key == nullptr || !raw) return false;
    const std::vector<uint8_t> der = RawSignatureToDer(*raw);

    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) != 1) {
        return false;
    }
    return EVP_DigestVerify(ctx.get(), der.data(), der.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::string PublicPointPin(const uint8_t* bytes, size_t length) {
    const std::vector<uint8_t> point = PublicPointFromBlob(bytes, length);
    if (point.empty()) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(point.data(), point.size(), digest, &digestLength, EVP_sha1(), nullptr) != 1) {
        return {};
    }
    return EncodeHex(digest, digestLength);
}

EVP_PKEY* ReleaseKey() {
    static const P256PublicKey key = ImportReleaseKey();
    return key.get();
}

bool ReleaseKeyPinMatches() {
    const std::vector<uint8_t> blob = DecodeHex(UpdateConfig::ReleasePublicKeyHex());
    const std::string pin = PublicPointPin(blob.data(), blob.size());
    return !pin.empty() && pin == UpdateConfig::ReleaseKeyPin();
}

}  // namespace UpdateSignature
