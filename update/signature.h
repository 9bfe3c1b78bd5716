#pragma once

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ECDSA P-256 / SHA-256 verification of publisher signatures, with OpenSSL. Keys arrive as the
// 72-byte public blob: "ECS1", a little-endian 32-bit coordinate length, X and Y (big-endian).
namespace UpdateSignature {

inline constexpr size_t kPublicBlobSize = 72;
inline constexpr size_t kPublicPointSize = 65;
inline constexpr size_t kRawSignatureSize = 64;

struct PublicKeyFree {
    void operator()(EVP_PKEY* key) const;
};
using P256PublicKey = std::unique_ptr<EVP_PKEY, PublicKeyFree>;

// Pairs of hex digits (either case) to bytes; empty for an odd length or any non-hex character.
std::vector<uint8_t> DecodeHex(std::string_view hex);

// Lower-case hex of the bytes.
std::string EncodeHex(const uint8_t* bytes, size_t length);

// The 64 raw bytes r||s of a hex signature, or nothing when the text is not exactly 128 hex
// digits. Checked before any curve arithmetic is attempted.
std::optional<std::array<uint8_t, kRawSignatureSize>> DecodeRawSignature(
    std::string_view signatureHex);

// DER SEQUENCE of the two minimal INTEGERs r and s.
std::vector<uint8_t> RawSignatureToDer(const std::array<uint8_t, kRawSignatureSize>& raw);

// 0x04 || X || Y of a blob with the "ECS1" magic and 72 bytes (the length field is ignored);
// empty otherwise.
std::vector<uint8_t> PublicPointFromBlob(const uint8_t* bytes, size_t length);

// A verification key for a blob whose point lies on P-256, else null.
P256PublicKey ImportP256PublicBlob(const uint8_t* bytes, size_t length);

// True only when signatureHex is the 128-hex r||s signature of message under key.
bool VerifyP256(EVP_PKEY* key, std::string_view message, std::string_view signatureHex);

// Lower-case hex SHA-1 of the blob's uncompressed point: the identity a build pins. Empty for
// a malformed blob.
std::string PublicPointPin(const uint8_t* bytes, size_t length);

// The publisher's key of this build, imported once and kept; null if the build's key is bad.
// Safe to call from several threads at once.
EVP_PKEY* ReleaseKey();

// Whether the build's pin is the identity of its release key.
bool ReleaseKeyPinMatches();

}  // namespace UpdateSignature
