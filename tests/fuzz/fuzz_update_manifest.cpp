// Fuzzes EvaluateManifest: the first byte picks the verifier (accept all, refuse all, or the
// real P-256 check with the build's key); the rest is the manifest text. An accepted manifest
// must satisfy every rule on its own, and the verifier sees exactly the payload of the fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/signature.h"
#include "update/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int mode = data[0] % 3;
    const std::string json(reinterpret_cast<const char*>(data + 1), size - 1);

    using UpdateCore::ExtractJsonStringField;
    const std::string expectedPayload = UpdateCore::BuildManifestPayload(
        ExtractJsonStringField(json, "tier"), ExtractJsonStringField(json, "version"),
        ExtractJsonStringField(json, "sha256"), ExtractJsonStringField(json, "url"));
    const std::string expectedSig = ExtractJsonStringField(json, "sig");

    int calls = 0;
    const UpdateCore::ManifestVerifier verify = [&](const std::string& payload,
                                                    const std::string& sig) {
        ++calls;
        if (payload != expectedPayload || sig != expectedSig) std::abort();
        if (mode == 2)
            return UpdateSignature::VerifyP256(UpdateSignature::ReleaseKey(), payload, sig);
        return mode == 0;
    };

    UpdateCore::UpdateManifestInfo out;
    out.tier = "unset";
    const bool accepted = UpdateCore::EvaluateManifest(verify, json, "linux-free", "1.0.1", out);
    if (calls > 1) std::abort();
    if (!accepted) {
        if (out.tier != "unset") std::abort();
        return 0;
    }
    if (calls != 1 || mode == 1) std::abort();
    if (out.tier != "linux-free" || !UpdateCore::IsValidTierShape(out.tier) ||
        !UpdateCore::IsValidVersionShape(out.version) ||
        !UpdateCore::IsVersionGreater(out.version, "1.0.1") ||
        !UpdateCore::IsValidSha256Shape(out.sha256) ||
        !UpdateCore::IsValidManifestUrlShape(out.url) ||
        !UpdateCore::IsAllowedInstallerHost(out.url) || out.url.rfind("https://", 0) != 0 ||
        out.sig != expectedSig) {
        std::abort();
    }
    return 0;
}
