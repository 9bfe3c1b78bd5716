// Manifest evaluation with a real key: every member is checked, the signature covers the exact
// payload, and the tier, version and host rules come after it.
#include "update/manifest.h"
#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"
#include "update/signature.h"

#include <gtest/gtest.h>

#include <algorithm>

using UpdateCore::BuildManifestPayload;
using UpdateCore::UpdateManifestInfo;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://quillon.app/downloads/quillon-1.0.2.zip";

using Members = std::vector<std::pair<std::string, std::string>>;

class ManifestEvaluation : public testing::Test {
protected:
    std::string Sign(const std::string& payload) {
        return QuillonSign::SignRawHex(signer_.get(), payload);
    }
    // Members in the order tier, version, url, sha256, sig; signed over what they hold.
    Members Signed(const std::string& version = "1.0.2", const std::string& url = kUrl,
                   const std::string& tier = "linux-free", const std::string& sha = kSha) {
        return {{"tier", tier},
                {"version", version},
                {"url", url},
                {"sha256", sha},
                {"sig", Sign(BuildManifestPayload(tier, version, sha, url))}};
    }
    static std::string Json(const Members& members) {
        std::string json = "{";
        for (const auto& [name, value] : members) {
            json += (json.size() > 1 ? ",\"" : "\"") + name + "\":\"" + value + "\"";
        }
        return json + "}";
    }
    bool Evaluate(const Members& members, UpdateManifestInfo& out,
                  const std::string& tier = "linux-free", const std::string& own = "1.0.1") {
        verifyCalls_ = 0;
        const auto verify = [this](const std::string& payload, const std::string& sig) {
            ++verifyCalls_;
            return UpdateSignature::VerifyP256(key_.get(), payload, sig);
        };
        return UpdateCore::EvaluateManifest(verify, Json(members), tier, own, out);
    }
    bool Evaluate(const Members& members) {
        UpdateManifestInfo out;
        return Evaluate(members, out);
    }

    QuillonSign::Key signer_ = QuillonSign::GenerateKey();
    const std::vector<uint8_t> blob_ = QuillonSign::PublicBlob(signer_.get());
    UpdateSignature::P256PublicKey key_ =
        UpdateSignature::ImportP256PublicBlob(blob_.data(), blob_.size());
    int verifyCalls_ = 0;
};

}  // namespace

TEST_F(ManifestEvaluation, AcceptsAGoodManifestInAnyMemberOrder) {
    Members members = Signed();
    const std::string sig = members[4].second;
    members.push_back({"notes", "ignored"});
    std::sort(members.begin(), members.end());
    int orders = 0;
    do {
        UpdateManifestInfo out;
        ASSERT_TRUE(Evaluate(members, out)) << Json(members);
        EXPECT_EQ((std::vector<std::string>{out.tier, out.version, out.url, out.sha256, out.sig}),
                  (std::vector<std::string>{"linux-free", "1.0.2", kUrl, kSha, sig}));
        ++orders;
    } while (std::next_permutation(members.begin(), members.end()));
    EXPECT_EQ(orders, 720);
}

TEST_F(ManifestEvaluation, MissingOrBadlyShapedMembersAreRefusedWithoutVerifying) {
    for (size_t i = 0; i < 5; ++i) {
        Members members = Signed();
        members[i].second.clear();
        EXPECT_FALSE(Evaluate(members)) << members[i].first;
        EXPECT_EQ(verifyCalls_, 0);
        members.erase(members.begin() + static_cast<long>(i));
        EXPECT_FALSE(Evaluate(members));
    }
    EXPECT_FALSE(Evaluate({{"not json at all", ""}}));
    // Signed over the bad value, so only the shape rule can refuse it.
    std::string upperSha = kSha;
    std::transform(upperSha.begin(), upperSha.end(), upperSha.begin(), ::toupper);
    for (const Members& bad : {Signed("1.0.2", kUrl, "Linux-free"), Signed("1.0.2-rc.1"),
                               Signed("123456.0.0"), Signed("1.0.2", "https://quillon.app/a b.zip"),
                               Signed("1.0.2", "https://quillon.app/a|b.zip"),
                               Signed("1.0.2", kUrl, "linux-free", upperSha)}) {
        EXPECT_FALSE(Evaluate(bad)) << Json(bad);
        EXPECT_EQ(verifyCalls_, 0) << Json(bad);
    }
}

TEST_F(ManifestEvaluation, SignatureCoversTheExactPayload) {
    const Members good = Signed();
    ASSERT_TRUE(Evaluate(good));
    // Any one field changed after signing.
    const std::string s = kSha, u = kUrl;
    const std::string changed[] = {"linux-pro", "1.0.3", "https://quillon.app/downloads/o.zip",
                                   "0" + s.substr(1)};
    for (size_t i = 0; i < 4; ++i) {
        Members members = good;
        members[i].second = changed[i];
        EXPECT_FALSE(Evaluate(members)) << members[i].first;
        EXPECT_EQ(verifyCalls_, 1);
    }
    // Signed over another field order, separator, ending or prefix, or by another key.
    Members members = good;
    for (const std::string& payload : {"QLN-UPDATE-1|linux-free|1.0.2|" + u + "|" + s,
                                       "QLN-UPDATE-1|linux-free|" + s + "|1.0.2|" + u,
                                       "QLN-UPDATE-1|linux-free|1.0.2|" + s + "|" + u + "\n",
                                       "QLN-UPDATE-2|linux-free|1.0.2|" + s + "|" + u,
                                       "QLN-UPDATE-1/linux-free/1.0.2/" + s + "/" + u}) {
        members[4].second = Sign(payload);
        EXPECT_FALSE(Evaluate(members)) << payload;
    }
    members[4].second = QuillonSign::SignRawHex(QuillonSign::GenerateKey().get(),
                                                BuildManifestPayload("linux-free", "1.0.2", s, u));
    EXPECT_FALSE(Evaluate(members));
    // Truncated, lengthened and non-hex signatures.
    const std::string sig = good[4].second;
    for (const std::string& bad : {sig.substr(0, 127), sig + "00", sig + "0",
                                   sig.substr(0, 127) + "x", sig.substr(0, 126)}) {
        members[4].second = bad;
        EXPECT_FALSE(Evaluate(members)) << bad;
    }
}

TEST_F(ManifestEvaluation, TierVersionAndHostAreCheckedAfterTheSignature) {
    UpdateManifestInfo out;
    out.tier = "untouched";
    EXPECT_FALSE(Evaluate(Signed(), out, "mac-free"));
    EXPECT_EQ(verifyCalls_, 1);
    EXPECT_EQ(out.tier, "untouched");
    EXPECT_FALSE(Evaluate(Signed("1.0.1"), out));
    EXPECT_FALSE(Evaluate(Signed("1.0.0"), out));
    EXPECT_FALSE(Evaluate(Signed("1.0.2-beta.1"), out, "linux-free", "1.0.2"));
    EXPECT_TRUE(Evaluate(Signed("1.0.2"), out, "linux-free", "1.0.2-beta.7"));
    EXPECT_FALSE(Evaluate(Signed(), out, "linux-free", "not a version"));
    for (const char* url : {"https://quillon.app:8443/x.zip", "https://quillon.app@evil.example/x",
                            "http://quillon.app/x.zip", "https://testers.quillon.app/update/x.zip",
                            "https://quillon.app.evil.example/x.zip", "ftp://quillon.app/x"}) {
        out = {};
        EXPECT_FALSE(Evaluate(Signed("1.0.2", url), out)) << url;
        EXPECT_EQ(out.url, "");
    }
    EXPECT_TRUE(Evaluate(Signed("1.0.2", "https://API.quillon.app/download/pro"), out));
}

TEST_F(ManifestEvaluation, EscapedMembersAreVerifiedAsResolved) {
    const std::string escaped = R"(https:\/\/quillon.app\/downloads\/quillon-1.0.2.zip)";
    Members members = Signed();
    members[2].second = escaped;
    UpdateManifestInfo out;
    ASSERT_TRUE(Evaluate(members, out));
    EXPECT_EQ(out.url, kUrl);
    // Signed over the escaped text, it no longer matches what is read.
    members[4].second = Sign(BuildManifestPayload("linux-free", "1.0.2", kSha, escaped));
    EXPECT_FALSE(Evaluate(members));
    // The publisher escapes what it writes.
    EXPECT_EQ(QuillonSign::JsonStringValue("a\"b\\c\n"), "a\\\"b\\\\c\\n");
}
