// Fuzzes EvaluateManifest: the first byte picks the verifier (accept all, refuse all, or the
// real P-256 check with the build's key); the rest is the manifest text. An accepted manifest
// must satisfy every rule on its own; the verifier sees exactly the payload of the fields, and
// is asked exactly when they are well shaped, before this build's own values are compared.
#include "tests/fuzz/fuzz_checks.h"
#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/signature.h"
#include "update/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace UpdateCore;
    if (size == 0) return 0;
    const int mode = data[0] % 3;
    const std::string json = Text(data + 1, size - 1);
    const std::string expectedPayload = BuildManifestPayload(
        ExtractJsonStringField(json, "tier"), ExtractJsonStringField(json, "version"),
        ExtractJsonStringField(json, "sha256"), ExtractJsonStringField(json, "url"));
    const std::string expectedSig = ExtractJsonStringField(json, "sig");
    const bool shaped = IsValidTierShape(ExtractJsonStringField(json, "tier")) &&
                        IsValidVersionShape(ExtractJsonStringField(json, "version")) &&
                        IsValidSha256Shape(ExtractJsonStringField(json, "sha256")) &&
                        IsValidManifestUrlShape(ExtractJsonStringField(json, "url")) &&
                        !expectedSig.empty();

    int calls = 0;
    const ManifestVerifier verify = [&](const std::string& payload, const std::string& sig) {
        ++calls;
        Require(payload == expectedPayload && sig == expectedSig);
        if (mode == 2)
            return UpdateSignature::VerifyP256(UpdateSignature::ReleaseKey(), payload, sig);
        return mode == 0;
    };
    UpdateManifestInfo out;
    out.tier = "unset";
    const bool accepted = EvaluateManifest(verify, json, "linux-free", "1.0.1", out);
    Require(calls == (shaped ? 1 : 0) && (accepted || out.tier == "unset"));
    if (!accepted) return 0;
    Require(mode != 1 && out.tier == "linux-free" && IsValidTierShape(out.tier) &&
            IsValidVersionShape(out.version) && IsVersionGreater(out.version, "1.0.1") &&
            IsValidSha256Shape(out.sha256) && IsValidManifestUrlShape(out.url) &&
            IsAllowedInstallerHost(out.url) && out.url.rfind("https://", 0) == 0 &&
            out.sig == expectedSig);
    return 0;
}
