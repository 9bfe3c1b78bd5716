#include "update/selftest.h"

#include <fstream>
#include <string_view>
#include <vector>

#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/signature.h"
#include "update/update_config.h"

namespace {

using UpdateCore::ExtractJsonBoolField;
using UpdateCore::ExtractJsonStringField;

struct SelfTestRun {
    std::string report;
    bool verdict = true;
    int caseCount = 0;
    UpdateSignature::P256PublicKey testKey;
};

struct HostCheck {
    std::string label;
    std::string url;
    bool allowed;
};

// Labels come from the vectors file: a line feed would split a report line and a NUL would cut
// the printed report short, hiding the lines after it.
std::string PrintableLabel(std::string_view label) {
    std::string out(label);
    for (char& c : out) {
        if (c == '\0' || c == '\n' || c == '\r') c = '?';
    }
    return out;
}

void WriteResult(SelfTestRun& run, bool passed, std::string_view label) {
    run.report += passed ? "PASS " : "FAIL ";
    run.report += PrintableLabel(label);
    run.report += '\n';
    if (!passed) run.verdict = false;
}

void RunKeyLine(SelfTestRun& run, const std::string& line) {
    const std::vector<uint8_t> blob =
        UpdateSignature::DecodeHex(ExtractJsonStringField(line, "hex"));
    run.testKey.reset();
    if (!blob.empty())
        run.testKey = UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
    WriteResult(run, run.testKey != nullptr, "test key loads as a valid P-256 public key");
}

// The members go in as read, without re-escaping, so a vector can carry escapes that the
// manifest reader must resolve.
std::string BuildCaseManifest(const std::string& line) {
    std::string json = "{";
    const char* const members[] = {"tier", "version", "url", "sha256", "sig"};
    for (const char* member : members) {
        if (json.size() > 1) json += ',';
        json += '"';
        json += member;
        json += "\":\"";
        json += ExtractJsonStringField(line, member);
        json += '"';
    }
    json += '}';
    return json;
}

void RunCaseLine(SelfTestRun& run, const std::string& line) {
    if (!run.testKey) {
        WriteResult(run, false, "case before a valid key line - skipped");
        return;
    }
    const std::string name = ExtractJsonStringField(line, "name");
    const bool expect = ExtractJsonBoolField(line, "expect", false);
    EVP_PKEY* key = run.testKey.get();
    const UpdateCore::ManifestVerifier verify = [key](const std::string& payload,
                                                      const std::string& sig) {
        return UpdateSignature::VerifyP256(key, payload, sig);
    };
    UpdateCore::UpdateManifestInfo info;
    const bool accepted = UpdateCore::EvaluateManifest(
        verify, BuildCaseManifest(line), ExtractJsonStringField(line, "expectedTier"),
        ExtractJsonStringField(line, "ownVersion"), info);
    ++run.caseCount;
    const std::string label = name.empty() ? "case " + std::to_string(run.caseCount) : name;
    WriteResult(run, accepted == expect, label);
}

std::vector<HostCheck> BuiltInHostChecks() {
    const std::string site(UpdateConfig::kProductSiteHost);
    const std::string api(UpdateConfig::kProductApiHost);
    const std::string testers(UpdateConfig::kTesterSiteHost);
    return {
        {"host: " + site + " allowed", "https://" + site + "/downloads/quillon-linux-free.zip",
         true},
        {"host: " + api + " allowed", "https://" + api + "/download/pro", true},
        {"host: look-alike subdomain rejected", "https://" + site + ".example.net/x.zip", false},
        {"host: userinfo trick rejected", "https://" + site + "@example.net/x.zip", false},
        {"host: explicit port rejected", "https://" + site + ":8443/x.zip", false},
        {"host: other site rejected", "https://example.net/x.zip", false},
        {"host: plain http rejected", "http://" + site + "/x.zip", false},
        {"host: tester site rejected (Pro/Free build)", "https://" + testers + "/update/x.zip",
         false},
    };
}

void RunHostChecks(SelfTestRun& run) {
    for (const HostCheck& check : BuiltInHostChecks()) {
        WriteResult(run, UpdateCore::IsAllowedInstallerHost(check.url) == check.allowed,
                    check.label);
    }
}

}  // namespace

bool RunUpdateSelfTest(const std::string& vectorsPath, std::string& report) {
    std::ifstream in(vectorsPath, std::ios::binary);
    if (!in) {
        report = "FAIL could not open vectors file: " + PrintableLabel(vectorsPath) + "\n";
        return false;
    }

    SelfTestRun run;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const std::string kind = ExtractJsonStringField(line, "line");
        if (kind == "key") {
            RunKeyLine(run, line);
        } else if (kind == "case") {
            RunCaseLine(run, line);
        }
    }
    run.testKey.reset();

    RunHostChecks(run);
    // A pin that does not name the release key would make every staged bundle fail its check.
    WriteResult(run, UpdateSignature::ReleaseKeyPinMatches(),
                "signing certificate pinned in this build");
    if (run.caseCount == 0) WriteResult(run, false, "no cases found in vectors file");

    report = std::move(run.report);
    return run.verdict;
}
