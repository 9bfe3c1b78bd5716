#include "update/update_config.h"

// Kept out of the header so that only this file depends on the build's key options.
namespace UpdateConfig {

std::string_view ReleasePublicKeyHex() { return QLN_RELEASE_PUBLIC_KEY_HEX; }

std::string_view ReleaseKeyPin() { return QLN_RELEASE_KEY_PIN; }

}  // namespace UpdateConfig
