#include "tools/quillon-sign/documents.h"

#include "tools/quillon-sign/signer.h"
#include "update/manifest.h"
#include "update/update_config.h"
#include "update/version.h"

namespace QuillonSign {

namespace {

constexpr const char kStandardOwnVersion[] = "1.0.1";
constexpr const char kStandardNewVersion[] = "1.0.2";
constexpr const char kStandardSha256[] =
    "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

void AppendMember(std::string& line, const char* name, const std::string& value) {
    if (line.size() > 1) line += ',';
    line += '"';
    line += name;
    line += "\":\"";
    line += JsonStringValue(value);
    line += '"';
}

CaseVector SignedCase(EVP_PKEY* key, std::string name, bool expect, const ManifestFields& fields,
                      std::string ownVersion) {
    CaseVector vector;
    vector.name = std::move(name);
    vector.expect = expect;
    vector.writtenFields = fields;
    vector.sig = SignManifest(key, fields);
    vector.expectedTier = std::string(UpdateConfig::kOwnTier);
    vector.ownVersion = std::move(ownVersion);
    return vector;
}

ManifestFields StandardFields() {
    return {std::string(UpdateConfig::kOwnTier), kStandardNewVersion,
            "https://" + std::string(UpdateConfig::kProductSiteHost) +
                "/downloads/quillon-linux-free-1.0.2.zip",
            kStandardSha256};
}

}  // namespace

std::string JsonStringValue(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string ManifestShapeProblem(const ManifestFields& fields) {
    if (!UpdateCore::IsValidTierShape(fields.tier)) return "unknown tier \"" + fields.tier + "\"";
    if (!UpdateCore::IsValidVersionShape(fields.version)) {
        return "version \"" + fields.version + "\" is not major.minor.patch[-beta.N]";
    }
    if (!UpdateCore::IsValidSha256Shape(fields.sha256)) {
        return "sha256 must be 64 lower-case hex digits";
    }
    if (!UpdateCore::IsValidManifestUrlShape(fields.url)) {
        return "url must be printable ASCII without spaces or \"|\"";
    }
    if (!UpdateCore::IsAllowedInstallerHost(fields.url)) {
        return "url is not https on an allowed download host";
    }
    return {};
}

std::string ManifestJson(const ManifestFields& fields, const std::string& sig) {
    std::string json = "{";
    AppendMember(json, "tier", fields.tier);
    AppendMember(json, "version", fields.version);
    AppendMember(json, "url", fields.url);
    AppendMember(json, "sha256", fields.sha256);
    AppendMember(json, "sig", sig);
    json += '}';
    return json;
}

std::string SignManifest(EVP_PKEY* privateKey, const ManifestFields& fields) {
    return SignRawHex(privateKey, UpdateCore::BuildManifestPayload(fields.tier, fields.version,
                                                                   fields.sha256, fields.url));
}

std::string KeyVectorLine(const std::string& publicBlobHex) {
    return "{\"line\":\"key\",\"hex\":\"" + publicBlobHex + "\"}";
}

std::string CaseVectorLine(const CaseVector& vector) {
    std::string line = "{\"line\":\"case\"";
    if (!vector.name.empty()) AppendMember(line, "name", vector.name);
    line += vector.expect ? ",\"expect\":true" : ",\"expect\":false";
    AppendMember(line, "tier", vector.writtenFields.tier);
    AppendMember(line, "version", vector.writtenFields.version);
    AppendMember(line, "url", vector.writtenFields.url);
    AppendMember(line, "sha256", vector.writtenFields.sha256);
    AppendMember(line, "sig", vector.sig);
    AppendMember(line, "expectedTier", vector.expectedTier);
    AppendMember(line, "ownVersion", vector.ownVersion);
    line += '}';
    return line;
}

std::vector<std::string> StandardVectorLines(EVP_PKEY* privateKey) {
    const ManifestFields good = StandardFields();
    std::vector<CaseVector> cases;
    cases.push_back(
        SignedCase(privateKey, "accept: newer signed manifest", true, good, kStandardOwnVersion));
    cases.push_back(
        SignedCase(privateKey, "accept: release after its beta", true, good, "1.0.2-beta.3"));
    cases.push_back(
        SignedCase(privateKey, "refuse: same version", false, good, kStandardNewVersion));

    ManifestFields otherTier = good;
    otherTier.tier = "linux-pro";
    cases.push_back(
        SignedCase(privateKey, "refuse: other tier", false, otherTier, kStandardOwnVersion));

    CaseVector tampered = SignedCase(privateKey, "refuse: version changed after signing", false,
                                     good, kStandardOwnVersion);
    tampered.writtenFields.version = "1.0.3";
    cases.push_back(tampered);

    CaseVector cut = SignedCase(privateKey, "refuse: signature of 127 hex digits", false, good,
                                kStandardOwnVersion);
    cut.sig.pop_back();
    cases.push_back(cut);

    ManifestFields port = good;
    port.url = "https://" + std::string(UpdateConfig::kProductSiteHost) + ":8443/x.zip";
    cases.push_back(
        SignedCase(privateKey, "refuse: host with a port", false, port, kStandardOwnVersion));

    ManifestFields testers = good;
    testers.url = "https://" + std::string(UpdateConfig::kTesterSiteHost) + "/update/x.zip";
    cases.push_back(
        SignedCase(privateKey, "refuse: tester host", false, testers, kStandardOwnVersion));

    ManifestFields plain = good;
    plain.url = "http://" + std::string(UpdateConfig::kProductSiteHost) + "/x.zip";
    cases.push_back(
        SignedCase(privateKey, "refuse: plain http", false, plain, kStandardOwnVersion));

    std::vector<std::string> lines = {KeyVectorLine(PublicBlobHex(privateKey))};
    for (const CaseVector& vector : cases) lines.push_back(CaseVectorLine(vector));
    return lines;
}

}  // namespace QuillonSign
