#include "tools/quillon-sign/signer.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "update/signature.h"

namespace QuillonSign {

namespace {

constexpr size_t kComponentSize = 32;

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct EcdsaSigFree {
    void operator()(ECDSA_SIG* sig) const { ECDSA_SIG_free(sig); }
};

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    size_t length = 0;
    return key != nullptr && EVP_PKEY_get_group_name(key, group, sizeof(group), &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

Key ReadPemFromText(const std::string& text) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    if (!bio) return nullptr;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (key) return key;
    bio.reset(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    if (!bio) return nullptr;
    return Key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
}

}  // namespace

void KeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

Key GenerateKey() { return Key(EVP_EC_gen("P-256")); }

bool WritePrivateKeyPem(EVP_PKEY* key, const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        error = "cannot open " + path;
        return false;
    }
    const bool written =
        PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path;
        unlink(path.c_str());
        return false;
    }
    return true;
}

Key ReadKeyPem(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot read " + path;
        return nullptr;
    }
    Key key = ReadPemFromText(text);
    if (!key) {
        error = path + " holds no PEM key";
        return nullptr;
    }
    if (!IsP256(key.get())) {
        error = path + " is not a P-256 key";
        return nullptr;
    }
    return key;
}

bool HasPrivateHalf(EVP_PKEY* key) {
    BIGNUM* scalar = nullptr;
    const bool has = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_PRIV_KEY, &scalar) == 1;
    BN_clear_free(scalar);
    return has;
}

std::vector<uint8_t> PublicBlob(EVP_PKEY* key) {
    if (!IsP256(key)) return {};
    uint8_t point[UpdateSignature::kPublicPointSize + 1] = {};
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point,
                                        sizeof(point), &length) != 1 ||
        length != UpdateSignature::kPublicPointSize || point[0] != 0x04) {
        return {};
    }
    std::vector<uint8_t> blob = {'E', 'C', 'S', '1', kComponentSize, 0, 0, 0};
    blob.insert(blob.end(), point + 1, point + length);
    return blob;
}

std::string PublicBlobHex(EVP_PKEY* key) {
    const std::vector<uint8_t> blob = PublicBlob(key);
    return UpdateSignature::EncodeHex(blob.data(), blob.size());
}

std::string SignRawHex(EVP_PKEY* privateKey, std::string_view message) {
    if (!IsP256(privateKey)) return {};
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, privateKey) != 1) {
        return {};
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    size_t derLength = 0;
    if (EVP_DigestSign(ctx.get(), nullptr, &derLength, bytes, message.size()) != 1) return {};
    std::vector<uint8_t> der(derLength);
    if (EVP_DigestSign(ctx.get(), der.data(), &derLength, bytes, message.size()) != 1) return {};
    der.resize(derLength);
    const auto raw = DerSignatureToRaw(der);
    if (!raw) return {};
    return UpdateSignature::EncodeHex(raw->data(), raw->size());
}

std::optional<std::array<uint8_t, 64>> DerSignatureToRaw(const std::vector<uint8_t>& der) {
    const unsigned char* cursor = der.data();
    std::unique_ptr<ECDSA_SIG, EcdsaSigFree> sig(
        d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der.size())));
    if (!sig || cursor != der.data() + der.size()) return std::nullopt;
    std::array<uint8_t, 64> raw{};
    if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw.data(), kComponentSize) < 0 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw.data() + kComponentSize, kComponentSize) <
            0) {
        return std::nullopt;
    }
    return raw;
}

}  // namespace QuillonSign
