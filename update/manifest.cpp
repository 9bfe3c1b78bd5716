#include "update/manifest.h"

#include <algorithm>
#include <utility>

#include "update/json_scan.h"
#include "update/update_config.h"
#include "update/version.h"

namespace UpdateCore {

namespace {

constexpr std::string_view kPayloadMagic = "QLN-UPDATE-1|";
constexpr std::string_view kHttpsScheme = "https://";
constexpr size_t kSha256HexLength = 64;

bool IsLowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

std::string BuildManifestPayload(const std::string& tier, const std::string& version,
                                 const std::string& sha256, const std::string& url) {
    std::string payload(kPayloadMagic);
    payload += tier;
    payload += '|';
    payload += version;
    payload += '|';
    payload += sha256;
    payload += '|';
    payload += url;
    return payload;
}

bool IsValidTierShape(const std::string& text) {
    return std::find(UpdateConfig::kTierNames.begin(), UpdateConfig::kTierNames.end(), text) !=
           UpdateConfig::kTierNames.end();
}

bool IsValidSha256Shape(const std::string& text) {
    return text.size() == kSha256HexLength &&
           std::all_of(text.begin(), text.end(), IsLowerHexDigit);
}

bool IsValidManifestUrlShape(const std::string& url) {
    if (url.empty()) return false;
    return std::all_of(url.begin(), url.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x21 && byte <= 0x7E && c != '|';
    });
}

bool IsAllowedInstallerHost(const std::string& url) {
    if (!StartsWith(url, kHttpsScheme)) return false;
    const size_t hostStart = kHttpsScheme.size();
    size_t hostEnd = url.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = url.size();
    const std::string host = AsciiLower(url.substr(hostStart, hostEnd - hostStart));
    return host == UpdateConfig::kProductSiteHost || host == UpdateConfig::kProductApiHost;
}

bool EvaluateManifest(const ManifestVerifier& verify, const std::string& json,
                      const std::string& expectedTier, const std::string& ownVersion,
                      UpdateManifestInfo& out) {
    UpdateManifestInfo m;
    m.tier = ExtractJsonStringField(json, "tier");
    m.version = ExtractJsonStringField(json, "version");
    m.url = ExtractJsonStringField(json, "url");
    m.sha256 = ExtractJsonStringField(json, "sha256");
    m.sig = ExtractJsonStringField(json, "sig");

    if (m.tier.empty() || m.version.empty() || m.url.empty() || m.sha256.empty() || m.sig.empty()) {
        return false;
    }
    if (!IsValidTierShape(m.tier) || !IsValidVersionShape(m.version) ||
        !IsValidSha256Shape(m.sha256) || !IsValidManifestUrlShape(m.url)) {
        return false;
    }
    // The signature is checked before anything is compared with this build's own values.
    if (!verify || !verify(BuildManifestPayload(m.tier, m.version, m.sha256, m.url), m.sig)) {
        return false;
    }
    if (m.tier != expectedTier) return false;
    if (!IsVersionGreater(m.version, ownVersion)) return false;
    if (!StartsWith(m.url, kHttpsScheme) || !IsAllowedInstallerHost(m.url)) return false;

    out = std::move(m);
    return true;
}

}  // namespace UpdateCore
