#pragma once

#include <array>
#include <string_view>

// Names and keys this build trusts. The release key and its pin come from the build options
// QLN_RELEASE_PUBLIC_KEY and QLN_RELEASE_KEY_PIN (update/CMakeLists.txt).

namespace UpdateConfig {

// Installer downloads are allowed from these two hosts only.
inline constexpr std::string_view kProductSiteHost = "quillon.app";
inline constexpr std::string_view kProductApiHost = "api.quillon.app";
// Serves tester builds; never an allowed download host of a Free or Pro build.
inline constexpr std::string_view kTesterSiteHost = "testers.quillon.app";

// Every tier a manifest may name; the Linux tiers keep a Linux build off other platforms'
// archives.
inline constexpr std::array<std::string_view, 9> kTierNames = {
    "free",     "pro",        "beta",      "mac-free",  "mac-pro",
    "mac-beta", "linux-free", "linux-pro", "linux-beta"};

// The tier this build asks for.
inline constexpr std::string_view kOwnTier = "linux-free";

// The publisher's public key: the 72-byte "ECS1" blob in hexadecimal.
std::string_view ReleasePublicKeyHex();

// Lower-case hex SHA-1 of the release key's 65-byte uncompressed point.
std::string_view ReleaseKeyPin();

}  // namespace UpdateConfig
