#include "update/manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/update/test_support.h"
#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"
#include "update/signature.h"

using UpdateCore::BuildManifestPayload;
using UpdateCore::EvaluateManifest;
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
};

std::string JsonOf(const std::vector<Member>& members) {
    std::string json = "{";
    for (const Member& m : members) {
        if (json.size() > 1) json += ",";
        json += "\"" + m.name + "\":\"" + m.value + "\"";
    }
    return json + "}";
}

class ManifestEvaluation : public ::testing::Test {
protected:
    void SetUp() override {
        signer_ = QuillonSign::GenerateKey();
        ASSERT_TRUE(signer_);
        const std::vector<uint8_t> blob = QuillonSign::PublicBlob(signer_.get());
        key_ = UpdateSignature::ImportP256PublicBlob(blob.data(), blob.size());
        ASSERT_TRUE(key_);
    }

    std::string Sign(const std::string& tier, const std::string& version, const std::string& sha,
                     const std::string& url) {
        return QuillonSign::SignRawHex(signer_.get(),
                                       BuildManifestPayload(tier, version, sha, url));
    }

    std::vector<Member> GoodMembers(const std::string& version = "1.0.2",
                                    const std::string& url = kUrl) {
        return {{"tier", "linux-free"},
                {"version", version},
                {"url", url},
                {"sha256", kSha},
                {"sig", Sign("linux-free", version, kSha, url)}};
    }

    bool Evaluate(const std::string& json, UpdateManifestInfo& out,
                  const std::string& expectedTier = "linux-free",
                  const std::string& ownVersion = "1.0.1") {
        return EvaluateManifest(UpdateTest::CountingVerifier(key_.get(), verifyCalls_), json,
                                expectedTier, ownVersion, out);
    }

    bool Evaluate(const std::string& json) {
        UpdateManifestInfo out;
        return Evaluate(json, out);
    }

    QuillonSign::Key signer_;
    UpdateSignature::P256PublicKey key_;
    int verifyCalls_ = 0;
};

}  // namespace

TEST(ManifestShapes, Tiers) {
    for (const char* tier : {"free", "pro", "beta", "mac-free", "mac-pro", "mac-beta", "linux-free",
                             "linux-pro", "linux-beta"}) {
        EXPECT_TRUE(IsValidTierShape(tier)) << tier;
    }
    for (const char* tier :
         {"", "Free", "FREE", "linux-free ", " pro", "win-free", "linux", "free\n"}) {
        EXPECT_FALSE(IsValidTierShape(tier)) << tier;
    }
    EXPECT_FALSE(IsValidTierShape(std::string("mac-free\0", 9)));
}

TEST(ManifestShapes, Sha256) {
    EXPECT_TRUE(IsValidSha256Shape(kSha));
    EXPECT_TRUE(IsValidSha256Shape(std::string(64, '0')));
    std::string upper = kSha;
    upper[1] = 'F';
    EXPECT_FALSE(IsValidSha256Shape(upper));
    EXPECT_FALSE(IsValidSha256Shape(std::string(kSha).substr(1)));
    EXPECT_FALSE(IsValidSha256Shape(std::string(kSha) + "0"));
    EXPECT_FALSE(IsValidSha256Shape(std::string(63, 'a') + "g"));
    EXPECT_FALSE(IsValidSha256Shape(""));
}

TEST(ManifestShapes, UrlBytes) {
    EXPECT_TRUE(IsValidManifestUrlShape(kUrl));
    EXPECT_TRUE(IsValidManifestUrlShape("!~"));
    EXPECT_FALSE(IsValidManifestUrlShape(""));
    EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/a b"));
    EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/a|b"));
    EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/a\tb"));
    EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/a\x7f"));
    EXPECT_FALSE(IsValidManifestUrlShape("https://quillon.app/\xc3\xa9"));
    EXPECT_FALSE(IsValidManifestUrlShape(std::string("https://quillon.app/\0", 21)));
}

TEST(ManifestShapes, InstallerHosts) {
    const std::vector<std::string> allowed = {
        "https://quillon.app",
        "https://quillon.app/",
        "https://quillon.app/downloads/x.zip",
        "https://api.quillon.app/download/pro",
        "https://QUILLON.app/x.zip",
        "https://Api.Quillon.App?x=1",
        "https://quillon.app#frag",
    };
    for (const auto& url : allowed) EXPECT_TRUE(IsAllowedInstallerHost(url)) << url;

    const std::vector<std::string> refused = {
        "http://quillon.app/x.zip",
        "HTTPS://quillon.app/x.zip",
        "https:/quillon.app/x.zip",
        "https://quillon.app:443/x.zip",
        "https://quillon.app:8443/x.zip",
        "https://user@quillon.app/x.zip",
        "https://quillon.app@evil.example/x.zip",
        "https://quillon.app.evil.example/x.zip",
        "https://evilquillon.app/x.zip",
        "https://www.quillon.app/x.zip",
        "https://testers.quillon.app/update/x.zip",
        "https://quillon.app./x.zip",
        "https://quillon.app\\@evil.example/x.zip",
        "https://quillon.application/x.zip",
        "https://example.net/quillon.app",
        "https:///quillon.app/x.zip",
        "https://",
        "",
        "quillon.app/x.zip",
    };
    for (const auto& url : refused) EXPECT_FALSE(IsAllowedInstallerHost(url)) << url;
}

TEST(ManifestShapes, PayloadOrderIsTierVersionShaUrl) {
    EXPECT_EQ(BuildManifestPayload("free", "1.0.2", "ab", "https://x/y"),
              "QLN-UPDATE-1|free|1.0.2|ab|https://x/y");
    EXPECT_EQ(BuildManifestPayload("", "", "", ""), "QLN-UPDATE-1||||");
}

TEST_F(ManifestEvaluation, AcceptsAGoodManifestInAnyMemberOrder) {
    std::vector<Member> members = GoodMembers();
    const std::string sig = members[4].value;
    members.push_back({"notes", "ignored"});
    std::sort(members.begin(), members.end(),
              [](const Member& a, const Member& b) { return a.name < b.name; });
    int orders = 0;
    do {
        UpdateManifestInfo out;
        ASSERT_TRUE(Evaluate(JsonOf(members), out)) << JsonOf(members);
        EXPECT_EQ(out.tier, "linux-free");
        EXPECT_EQ(out.version, "1.0.2");
        EXPECT_EQ(out.url, kUrl);
        EXPECT_EQ(out.sha256, kSha);
        EXPECT_EQ(out.sig, sig);
        ++orders;
    } while (
        std::next_permutation(members.begin(), members.end(),
                              [](const Member& a, const Member& b) { return a.name < b.name; }));
    EXPECT_EQ(orders, 720);
}

TEST_F(ManifestEvaluation, RefusesAnEmptiedMemberWithoutVerifying) {
    for (size_t i = 0; i < 5; ++i) {
        std::vector<Member> members = GoodMembers();
        members[i].value.clear();
        verifyCalls_ = 0;
        EXPECT_FALSE(Evaluate(JsonOf(members))) << members[i].name;
        EXPECT_EQ(verifyCalls_, 0);
        members.erase(members.begin() + static_cast<long>(i));
        EXPECT_FALSE(Evaluate(JsonOf(members)));
    }
    EXPECT_FALSE(Evaluate(""));
    EXPECT_FALSE(Evaluate("not json at all"));
}

TEST_F(ManifestEvaluation, RefusesBadShapesBeforeTheSignature) {
    auto refusedUnverified = [this](std::vector<Member> members, size_t index,
                                    const std::string& value) {
        members[index].value = value;
        // Signed over the bad value, so only the shape rule can refuse it.
        members[4].value =
            Sign(members[0].value, members[1].value, members[3].value, members[2].value);
        verifyCalls_ = 0;
        EXPECT_FALSE(Evaluate(JsonOf(members))) << value;
        EXPECT_EQ(verifyCalls_, 0) << value;
    };
    const std::vector<Member> good = GoodMembers();
    refusedUnverified(good, 0, "Linux-free");
    refusedUnverified(good, 1, "1.0.2-rc.1");
    refusedUnverified(good, 1, "123456.0.0");
    refusedUnverified(good, 2, "https://quillon.app/a b.zip");
    refusedUnverified(good, 2, "https://quillon.app/a|b.zip");
    std::string upper = kSha;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    refusedUnverified(good, 3, upper);
}

TEST_F(ManifestEvaluation, SignatureCoversTheExactPayload) {
    const std::vector<Member> good = GoodMembers();
    ASSERT_TRUE(Evaluate(JsonOf(good)));

    // Any one field changed after signing.
    const std::vector<std::string> replacements = {
        "linux-pro", "1.0.3", "https://quillon.app/downloads/other.zip",
        "0f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"};
    for (size_t i = 0; i < replacements.size(); ++i) {
        std::vector<Member> members = good;
        members[i].value = replacements[i];
        verifyCalls_ = 0;
        EXPECT_FALSE(Evaluate(JsonOf(members))) << members[i].name;
        EXPECT_EQ(verifyCalls_, 1);
    }

    // Signed over another field order, or with another separator or prefix.
    std::vector<Member> members = good;
    members[4].value = QuillonSign::SignRawHex(
        signer_.get(), "QLN-UPDATE-1|linux-free|1.0.2|" + std::string(kUrl) + "|" + kSha);
    EXPECT_FALSE(Evaluate(JsonOf(members)));
    members[4].value = QuillonSign::SignRawHex(
        signer_.get(), "QLN-UPDATE-1|linux-free|" + std::string(kSha) + "|1.0.2|" + kUrl);
    EXPECT_FALSE(Evaluate(JsonOf(members)));
    members[4].value = QuillonSign::SignRawHex(
        signer_.get(), BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl) + "\n");
    EXPECT_FALSE(Evaluate(JsonOf(members)));
    members[4].value = QuillonSign::SignRawHex(
        signer_.get(), "QLN-UPDATE-2|linux-free|1.0.2|" + std::string(kSha) + "|" + kUrl);
    EXPECT_FALSE(Evaluate(JsonOf(members)));

    // Another key's signature.
    QuillonSign::Key other = QuillonSign::GenerateKey();
    members[4].value = QuillonSign::SignRawHex(
        other.get(), BuildManifestPayload("linux-free", "1.0.2", kSha, kUrl));
    EXPECT_FALSE(Evaluate(JsonOf(members)));

    // Truncated, lengthened and non-hex signatures.
    const std::string sig = good[4].value;
    for (const std::string& bad :
         {sig.substr(0, 127), sig + "00", sig.substr(0, 127) + "x", sig.substr(0, 126)}) {
        members[4].value = bad;
        EXPECT_FALSE(Evaluate(JsonOf(members))) << bad;
    }
}

TEST_F(ManifestEvaluation, TierVersionAndHostAreCheckedAfterTheSignature) {
    UpdateManifestInfo out;
    out.tier = "untouched";
    verifyCalls_ = 0;
    EXPECT_FALSE(Evaluate(JsonOf(GoodMembers()), out, "mac-free"));
    EXPECT_EQ(verifyCalls_, 1);
    EXPECT_EQ(out.tier, "untouched");

    EXPECT_FALSE(Evaluate(JsonOf(GoodMembers("1.0.1")), out));
    EXPECT_FALSE(Evaluate(JsonOf(GoodMembers("1.0.0")), out));
    EXPECT_FALSE(Evaluate(JsonOf(GoodMembers("1.0.2-beta.1")), out, "linux-free", "1.0.2"));
    EXPECT_TRUE(Evaluate(JsonOf(GoodMembers("1.0.2")), out, "linux-free", "1.0.2-beta.7"));
    EXPECT_FALSE(Evaluate(JsonOf(GoodMembers()), out, "linux-free", "not a version"));

    for (const char* url : {"https://quillon.app:8443/x.zip", "https://quillon.app@evil.example/x",
                            "http://quillon.app/x.zip", "https://testers.quillon.app/update/x.zip",
                            "https://quillon.app.evil.example/x.zip", "ftp://quillon.app/x"}) {
        out = {};
        EXPECT_FALSE(Evaluate(JsonOf(GoodMembers("1.0.2", url)), out)) << url;
        EXPECT_EQ(out.url, "");
    }
    EXPECT_TRUE(
        Evaluate(JsonOf(GoodMembers("1.0.2", "https://API.quillon.app/download/pro")), out));
}

TEST_F(ManifestEvaluation, EscapedMembersAreVerifiedAsResolved) {
    std::vector<Member> members = GoodMembers();
    members[2].value = R"(https:\/\/quillon.app\/downloads\/quillon-1.0.2.zip)";
    UpdateManifestInfo out;
    ASSERT_TRUE(Evaluate(JsonOf(members), out));
    EXPECT_EQ(out.url, kUrl);

    // Signed over the escaped text, it no longer matches what is read.
    members[4].value = Sign("linux-free", "1.0.2", kSha, members[2].value);
    EXPECT_FALSE(Evaluate(JsonOf(members)));
}

TEST_F(ManifestEvaluation, PublisherDocumentIsAccepted) {
    const QuillonSign::ManifestFields fields{"linux-free", "1.0.2", kUrl, kSha};
    EXPECT_EQ(QuillonSign::ManifestShapeProblem(fields), "");
    const std::string json =
        QuillonSign::ManifestJson(fields, QuillonSign::SignManifest(signer_.get(), fields));
    EXPECT_TRUE(Evaluate(json));

    EXPECT_NE(QuillonSign::ManifestShapeProblem({"linux-free", "1.0.2", kUrl, "ABC"}), "");
    EXPECT_NE(QuillonSign::ManifestShapeProblem({"linux-free", "1.0", kUrl, kSha}), "");
    EXPECT_NE(QuillonSign::ManifestShapeProblem({"osx", "1.0.2", kUrl, kSha}), "");
    EXPECT_NE(
        QuillonSign::ManifestShapeProblem({"linux-free", "1.0.2", "http://quillon.app/", kSha}),
        "");
    EXPECT_EQ(QuillonSign::JsonStringValue("a\"b\\c\n"), "a\\\"b\\\\c\\n");
}
