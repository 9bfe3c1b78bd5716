#include "update/bundle_digest.h"

#include "update/signature.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string HexOf(const unsigned char* bytes, unsigned length) {
    return UpdateSignature::EncodeHex(bytes, length);
}

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr)) return {};
    return HexOf(digest, length);
}

std::string OctalMode(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::optional<std::string> LinkTarget(const std::string& path, off_t size) {
    std::string target(static_cast<size_t>(size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) > static_cast<size_t>(size)) return std::nullopt;
    target.resize(static_cast<size_t>(length));
    return target;
}

// One entry's line, or nothing for what a bundle may not hold.
std::optional<std::string> EntryLine(const std::string& root, const std::string& relative) {
    const std::string path = root + "/" + relative;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return std::nullopt;
    std::string type, size, sha;
    if (S_ISREG(info.st_mode)) {
        type = "f";
        size = std::to_string(info.st_size);
        sha = Sha256FileHexLower(path);
    } else if (S_ISLNK(info.st_mode)) {
        const auto target = LinkTarget(path, info.st_size);
        if (!target) return std::nullopt;
        type = "l";
        size = std::to_string(target->size());
        sha = Sha256Hex(*target);
    } else if (S_ISDIR(info.st_mode)) {
        type = "d";
        size = "0";
        sha = Sha256Hex("");
    } else {
        return std::nullopt;
    }
    if (sha.empty()) return std::nullopt;
    std::string line = relative;
    for (const std::string& field : {type, OctalMode(info.st_mode), size, sha}) {
        line.push_back('\0');
        line += field;
    }
    line.push_back('\n');
    return line;
}

}  // namespace

std::string Sha256FileHexLower(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)) return {};
    std::vector<char> block(64 * 1024);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        if (in.bad()) return {};
        if (in.gcount() > 0 &&
            !EVP_DigestUpdate(context.get(), block.data(), static_cast<size_t>(in.gcount()))) {
            return {};
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!EVP_DigestFinal_ex(context.get(), digest, &length)) return {};
    return HexOf(digest, length);
}

std::optional<std::string> BundleDigest(const std::string& folder) {
    std::vector<std::string> relatives;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string relative = fs::relative(it->path(), folder, error).string();
        if (error) return std::nullopt;
        if (relative != "bundle.sig") relatives.push_back(relative);
    }
    if (error) return std::nullopt;
    std::sort(relatives.begin(), relatives.end());
    std::string digest;
    for (const std::string& relative : relatives) {
        const auto line = EntryLine(folder, relative);
        if (!line) return std::nullopt;
        digest += *line;
    }
    return digest;
}

bool BundleSignedByPublisher(const std::string& folder) {
    std::ifstream in(folder + "/bundle.sig", std::ios::binary);
    std::string signature((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!signature.empty() && (signature.back() == '\n' || signature.back() == '\r')) {
        signature.pop_back();
    }
    EVP_PKEY* key = UpdateSignature::ReleaseKey();
    if (!key || signature.empty()) return false;
    const auto digest = BundleDigest(folder);
    return digest && UpdateSignature::VerifyP256(key, *digest, signature);
}
