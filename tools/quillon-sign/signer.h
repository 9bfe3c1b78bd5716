#pragma once

#include <openssl/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The publisher's side of update signatures: P-256 key pairs in PEM files and raw r||s
// signatures over SHA-256, as the updater verifies them.
namespace QuillonSign {

struct KeyFree {
    void operator()(EVP_PKEY* key) const;
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// A fresh P-256 key pair.
Key GenerateKey();

// Writes the private key as PKCS#8 PEM with mode 0600; never replaces an existing file.
bool WritePrivateKeyPem(EVP_PKEY* key, const std::string& path, std::string& error);

// A P-256 private key, or a public key, from a PEM file; null with error set otherwise.
Key ReadKeyPem(const std::string& path, std::string& error);

bool HasPrivateHalf(EVP_PKEY* key);

// The 72-byte "ECS1" public blob of a P-256 key; empty for any other key.
std::vector<uint8_t> PublicBlob(EVP_PKEY* key);

// Lower-case hex of the public blob; empty for a non-P-256 key.
std::string PublicBlobHex(EVP_PKEY* key);

// 128 lower-case hex digits r||s of an ECDSA P-256 / SHA-256 signature of message; empty on
// failure.
std::string SignRawHex(EVP_PKEY* privateKey, std::string_view message);

// r||s of a DER ECDSA signature whose components fit in 32 bytes each.
std::optional<std::array<uint8_t, 64>> DerSignatureToRaw(const std::vector<uint8_t>& der);

}  // namespace QuillonSign
