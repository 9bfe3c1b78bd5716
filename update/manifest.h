#pragma once

#include <functional>
#include <string>

namespace UpdateCore {

// An accepted manifest; filled only on acceptance.
struct UpdateManifestInfo {
    std::string tier;
    std::string version;
    std::string url;
    std::string sha256;
    std::string sig;
};

// Checks sig (hex r||s) over the payload text.
using ManifestVerifier = std::function<bool(const std::string& payload, const std::string& sig)>;

// The exact bytes the publisher signs: "QLN-UPDATE-1|tier|version|sha256|url".
std::string BuildManifestPayload(const std::string& tier, const std::string& version,
                                 const std::string& sha256, const std::string& url);

bool IsValidTierShape(const std::string& text);
// 64 lower-case hex digits.
bool IsValidSha256Shape(const std::string& text);
// Printable ASCII without blanks and without the payload separator "|".
bool IsValidManifestUrlShape(const std::string& url);
// An https URL whose host, compared without letter case, is exactly one of the allowed hosts.
bool IsAllowedInstallerHost(const std::string& url);

// Accepts a manifest only when every member is present and well-shaped, the signature over
// the payload verifies, the tier is expectedTier, the version is newer than ownVersion and
// the URL is https on an allowed host. out is written only on acceptance.
bool EvaluateManifest(const ManifestVerifier& verify, const std::string& json,
                      const std::string& expectedTier, const std::string& ownVersion,
                      UpdateManifestInfo& out);

}  // namespace UpdateCore
