#include "update/manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"
#include "update/signature.h"

using UpdateCore::BuildManifestPayload;
using UpdateCore::IsAllowedInstallerHost;
using UpdateCore::IsValidManifestUrlShape;
using UpdateCore::IsValidSha256Shape;
using UpdateCore::IsValidTierShape;
using UpdateCore::UpdateManifestInfo;

namespace {

constexpr char kSha[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kUrl[] = "https://quillon.app/downloads/quillon-1.0.2.zip";

struct Member {
    std::string name;
    std::string value;
    bool operator<(const Member& other) const { return name < other.name; }
};

std::string JsonOf(const std::vector<Member>& members) {
    std::string json = "{";
    for (const Member& m : members) {
        if (json.size() > 1) json += ",";
        json += "\"" + m.name + "\":\"" + m.value + "\"";
    }
    return json + "}";
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

class ManifestEvaluation : public ::testing::Test {
protected:
    void SetUp() override {
        signer_ = QuillonSign::GenerateKey();
        const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer_.get());
        key_ = UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
        ASSERT_TRUE(key_);
    }

    std::string SignPayload(const std::string& payload) {
        return QuillonSign::SignRawHex(signer_.get(), payload);
    }

    // Members in the order tier, version, url, sha256, sig; signed over what they hold.
    std::vector<Member> Signed(const std::string& version = "1.0.2", const std::string& url = kUrl,
                               const std::string& tier = "linux-free",
                               const std::string& sha = kSha) {
        return {{"tier", tier},
                {"version", version},
                {"url", url},
                {"sha256", sha},
                {"sig", SignPayload(BuildManifestPayload(tier, version, sha, url))}};
    }

    bool Evaluate(const std::vector<Member>& members, UpdateManifestInfo& out,
                  const std::string& expectedTier = "linux-free",
                  const std::string& ownVersion = "1.0.1") {
        verifyCalls_ = 0;
        EVP_PKEY* key = key_.get();
        auto verify = [this, key](const std::string& payload, const std::string& sig) {
            ++verifyCalls_;
            return UpdateSignature::VerifyP256(key, payload, sig);
        };
        return UpdateCore::EvaluateManifest(verify, JsonOf(members), expectedTier, ownVersion, out);
    }

    bool Evaluate(const std::vector<Member>& members) {
        UpdateManifestInfo out;
        return Evaluate(members, out);
    }

    QuillonSign::Key signer_;
    UpdateSignature::P256PublicKey key_;
    int verifyCalls_ = 0;
};

}  // namespace

TEST(ManifestShapes, TierShaAndUrlBytes) {
    for (const char* tier : {"free", "pro", "beta", "mac-free", "mac-pro", "mac-beta", "linux-free",
                             "linux-pro", "linux-beta"}) {
        EXPECT_TRUE(IsValidTierShape(tier)) << tier;
    }
    for (const std::string& tier : std::vector<std::string>{
             "", "Free", "linux-free ", " pro", "win-free", "linux", "free\n", {"mac-free\0", 9}}) {
        EXPECT_FALSE(IsValidTierShape(tier)) << tier;
    }
    EXPECT_TRUE(IsValidSha256Shape(kSha));
    const std::string sha = kSha;
    for (const std::string& bad :
         std::vector<std::string>{Upper(sha), sha.substr(1), sha + "0", sha.substr(1) + "g", ""}) {
        EXPECT_FALSE(IsValidSha256Shape(bad)) << bad;
    }
    EXPECT_TRUE(IsValidManifestUrlShape("!~"));
    EXPECT_FALSE(IsValidManifestUrlShape(""));
    for (const std::string& bad :
         std::vector<std::string>{"a b", "a|b", "a\tb", "a\x7f", "\xc3\xa9", {"\0", 1}}) {
        EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/" + bad)) << bad;
    }
    EXPECT_EQ(BuildManifestPayload("free", "1.0.2", "ab", "https://x/y"),
              "QLN-UPDATE-1|free|1.0.2|ab|https://x/y");
}

TEST(ManifestShapes, InstallerHosts) {
    for (const char* url : {"https://quillon.app", "https://quillon.app/", kUrl,
                            "https://api.quillon.app/download/pro", "https://QUILLON.app/x.zip",
                            "https://Api.Quillon.App?x=1", "https://quillon.app#frag"}) {
        EXPECT_TRUE(IsAllowedInstallerHost(url)) << url;
    }
    for (const char* url :
         {"http://quillon.app/x.zip", "HTTPS://quillon.app/x.zip", "https:/quillon.app/x.zip",
          "https://quillon.app:443/x.zip", "https://quillon.app:8443/x.zip",
          "https://user@quillon.app/x.zip", "https://quillon.app@evil.example/x.zip",
          "https://quillon.app.evil.example/x.zip", "https://evilquillon.app/x.zip",
          "https://www.quillon.app/x.zip", "https://testers.quillon.app/update/x.zip",
          "https://quillon.app./x.zip", "https://quillon.app\\@evil.example/x.zip",
          "https://quillon.application/x.zip", "https://example.net/quillon.app",
          "https:///quillon.app/x.zip", "https://", "", "quillon.app/x.zip"}) {
        EXPECT_FALSE(IsAllowedInstallerHost(url)) << url;
    }
}

TEST_F(ManifestEvaluation, AcceptsAGoodManifestInAnyMemberOrder) {
    std::vector<Member> members = Signed();
    const std::string sig = members[4].value;
    members.push_back({"notes", "ignored"});
    std::sort(members.begin(), members.end());
    int orders = 0;
    do {
        UpdateManifestInfo out;
        ASSERT_TRUE(Evaluate(members, out)) << JsonOf(members);
        EXPECT_EQ((std::vector<std::string>{out.tier, out.version, out.url, out.sha256, out.sig}),
                  (std::vector<std::string>{"linux-free", "1.0.2", kUrl, kSha, sig}));
        ++orders;
    } while (std::next_permutation(members.begin(), members.end()));
    EXPECT_EQ(orders, 720);
}

TEST_F(ManifestEvaluation, MissingOrBadlyShapedMembersAreRefusedWithoutVerifying) {
    for (size_t i = 0; i < 5; ++i) {
        std::vector<Member> members = Signed();
        members[i].value.clear();
        EXPECT_FALSE(Evaluate(members)) << members[i].name;
        EXPECT_EQ(verifyCalls_, 0);
        members.erase(members.begin() + static_cast<long>(i));
        EXPECT_FALSE(Evaluate(members));
    }
    EXPECT_FALSE(Evaluate({{"not json at all", ""}}));
    // Signed over the bad value, so only the shape rule can refuse it.
    for (const std::vector<Member>& bad :
         {Signed("1.0.2", kUrl, "Linux-free"), Signed("1.0.2-rc.1"), Signed("123456.0.0"),
          Signed("1.0.2", "https://quillon.app/a b.zip"),
          Signed("1.0.2", "https://quillon.app/a|b.zip"),
          Signed("1.0.2", kUrl, "linux-free", Upper(kSha))}) {
        EXPECT_FALSE(Evaluate(bad)) << JsonOf(bad);
        EXPECT_EQ(verifyCalls_, 0) << JsonOf(bad);
    }
}

TEST_F(ManifestEvaluation, SignatureCoversTheExactPayload) {
    const std::vector<Member> good = Signed();
    ASSERT_TRUE(Evaluate(good));
    // Any one field changed after signing.
    const std::string changed[] = {"linux-pro", "1.0.3", "https://quillon.app/downloads/o.zip",
                                   "0" + std::string(kSha).substr(1)};
    for (size_t i = 0; i < 4; ++i) {
        std::vector<Member> members = good;
        members[i].value = changed[i];
        EXPECT_FALSE(Evaluate(members)) << members[i].name;
        EXPECT_EQ(verifyCalls_, 1);
    }
    // Signed over another field order, separator, ending or prefix, or by another key.
    const std::string s = kSha, u = kUrl;
    std::vector<Member> members = good;
    for (const std::string& payload : {"QLN-UPDATE-1|linux-free|1.0.2|" + u + "|" + s,
                                       "QLN-UPDATE-1|linux-free|" + s + "|1.0.2|" + u,
                                       "QLN-UPDATE-1|linux-free|1.0.2|" + s + "|" + u + "\n",
                                       "QLN-UPDATE-2|linux-free|1.0.2|" + s + "|" + u,
                                       "QLN-UPDATE-1/linux-free/1.0.2/" + s + "/" + u}) {
        members[4].value = SignPayload(payload);
        EXPECT_FALSE(Evaluate(members)) << payload;
    }
    members[4].value = QuillonSign::SignRawHex(QuillonSign::GenerateKey().get(),
                                               BuildManifestPayload("linux-free", "1.0.2", s, u));
    EXPECT_FALSE(Evaluate(members));
    // Truncated, lengthened and non-hex signatures.
    const std::string sig = good[4].value;
    for (const std::string& bad : {sig.substr(0, 127), sig + "00", sig + "0",
                                   sig.substr(0, 127) + "x", sig.substr(0, 126)}) {
        members[4].value = bad;
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
    std::vector<Member> members = Signed();
    members[2].value = escaped;
    UpdateManifestInfo out;
    ASSERT_TRUE(Evaluate(members, out));
    EXPECT_EQ(out.url, kUrl);
    // Signed over the escaped text, it no longer matches what is read.
    members[4].value = SignPayload(BuildManifestPayload("linux-free", "1.0.2", kSha, escaped));
    EXPECT_FALSE(Evaluate(members));
}

TEST_F(ManifestEvaluation, PublisherDocumentIsAccepted) {
    const QuillonSign::ManifestFields fields{"linux-free", "1.0.2", kUrl, kSha};
    EXPECT_EQ(QuillonSign::ManifestShapeProblem(fields), "");
    const std::string json =
        QuillonSign::ManifestJson(fields, QuillonSign::SignManifest(signer_.get(), fields));
    UpdateManifestInfo out;
    EXPECT_TRUE(UpdateCore::EvaluateManifest(
        [this](const std::string& p, const std::string& s) {
            return UpdateSignature::VerifyP256(key_.get(), p, s);
        },
        json, "linux-free", "1.0.1", out));
    EXPECT_EQ(QuillonSign::JsonStringValue("a\"b\\c\n"), "a\\\"b\\\\c\\n");
}
