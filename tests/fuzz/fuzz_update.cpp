// The update parsers on any input: the lenient member readers, the version order and the
// manifest rules. Each check reads the input its own way, so one corpus serves all three.
#include "tests/fuzz/fuzz_checks.h"
#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/signature.h"
#include "update/version.h"

#include <algorithm>
#include <sstream>

using namespace UpdateCore;

namespace {

// A key (its length in the first byte, at most 7), then the text. A string never grows the
// text and comes back exactly when written with its two mandatory escapes; a boolean literal
// found gives the same answer whatever the default, and matches the text after the colon.
void CheckMembers(const std::string& input) {
    const size_t keyLength = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 8;
    if (input.size() < 1 + keyLength) return;
    const std::string key = input.substr(1, keyLength), text = input.substr(1 + keyLength);
    const std::string value = ExtractJsonStringField(text, key), needle = "\"" + key + "\"";
    const size_t at = text.find(needle);
    Require(value.size() <= text.size() && (value.empty() || at != std::string::npos));
    std::string escaped;
    for (char c : text) escaped += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
    Require(ExtractJsonStringField("{\"k\":\"" + escaped + "\"}", "k") == text);

    const bool withTrue = ExtractJsonBoolField(text, key, true);
    const bool found = withTrue == ExtractJsonBoolField(text, key, false);
    const size_t colon = at == std::string::npos ? at : text.find(':', at + needle.size());
    Require(colon != std::string::npos || !found);
    if (colon == std::string::npos) return;
    const size_t start = std::min(text.find_first_not_of(' ', colon + 1), text.size());
    const bool isTrue = text.compare(start, 4, "true") == 0;
    Require(found == (isTrue || text.compare(start, 5, "false") == 0) &&
            (!found || withTrue == isTrue));
}

// A refused version carries no numbers; an accepted one is equal to its plain spelling.
std::string Canonical(const std::string& text) {
    const ParsedVersion v = ParseVersionWithTag(text);
    if (!v.valid) {
        Require(v.major == 0 && v.minor == 0 && v.patch == 0 && !v.hasBeta && v.betaNumber == 0);
        return "";
    }
    for (int64_t part : {v.major, v.minor, v.patch, v.betaNumber})
        Require(part >= 0 && part <= 99999);
    Require(v.hasBeta || v.betaNumber == 0);
    std::string plain =
        std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
    if (v.hasBeta) plain += "-beta." + std::to_string(v.betaNumber);
    Require(!IsVersionGreater(text, plain) && !IsVersionGreater(plain, text));
    return plain;
}

// The first three lines: the order is irreflexive, antisymmetric and transitive, relates only
// valid versions, and any two valid ones not ordered are the same version.
void CheckVersionOrder(const std::string& input) {
    std::string v[3], plain[3];
    std::istringstream lines(input);
    for (int i = 0; i < 3; ++i) {
        std::getline(lines, v[i]);
        plain[i] = Canonical(v[i]);
        Require(!IsVersionGreater(v[i], v[i]));
    }
    const bool ab = IsVersionGreater(v[0], v[1]), ba = IsVersionGreater(v[1], v[0]);
    const bool bothValid = !plain[0].empty() && !plain[1].empty();
    Require(!(ab && ba) && (ab || ba ? bothValid : !bothValid || plain[0] == plain[1]));
    Require(!ab || !IsVersionGreater(v[1], v[2]) || IsVersionGreater(v[0], v[2]));
}

// The first byte picks the verifier (accept all, refuse all, the real check with the build's
// key). It sees exactly the fields' payload, and is asked exactly when they are well shaped; an
// accepted manifest satisfies every rule on its own.
void CheckManifest(const std::string& input) {
    if (input.empty()) return;
    const int mode = static_cast<unsigned char>(input[0]) % 3;
    const std::string json = input.substr(1);
    const auto field = [&json](const char* name) { return ExtractJsonStringField(json, name); };
    const std::string payload =
        BuildManifestPayload(field("tier"), field("version"), field("sha256"), field("url"));
    const bool shaped = IsValidTierShape(field("tier")) && IsValidVersionShape(field("version")) &&
                        IsValidSha256Shape(field("sha256")) &&
                        IsValidManifestUrlShape(field("url")) && !field("sig").empty();
    int calls = 0;
    const ManifestVerifier verify = [&](const std::string& p, const std::string& sig) {
        ++calls;
        Require(p == payload && sig == field("sig"));
        return mode == 2 ? UpdateSignature::VerifyP256(UpdateSignature::ReleaseKey(), p, sig)
                         : mode == 0;
    };
    UpdateManifestInfo out;
    out.tier = "unset";
    const bool accepted = EvaluateManifest(verify, json, "linux-free", "1.0.1", out);
    Require(calls == (shaped ? 1 : 0) && (accepted || out.tier == "unset"));
    Require(!accepted ||
            (mode != 1 && out.tier == "linux-free" && IsValidVersionShape(out.version) &&
             IsVersionGreater(out.version, "1.0.1") && IsValidSha256Shape(out.sha256) &&
             IsValidManifestUrlShape(out.url) && IsAllowedInstallerHost(out.url) &&
             out.url.rfind("https://", 0) == 0 && out.sig == field("sig")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckMembers(input);
    CheckVersionOrder(input);
    CheckManifest(input);
    return 0;
}
