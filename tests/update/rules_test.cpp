// The update rules that need no key: lenient JSON members, versions, manifest shapes and hosts.
#include "tests/update/update_test.h"
#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/version.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace UpdateCore;

TEST(JsonScan, StringMembersAreReadLeniently) {
    struct Case {
        std::string json, key, value;
    };
    const Case cases[] = {
        {R"({"b":"two", "a" : "one","c":"three"})", "a", "one"},
        {R"({"b":"two", "a" : "one","c":"three"})", "c", "three"},
        {R"({"b":"two"})", "d", ""},
        {"", "a", ""},
        {R"({"a":""})", "a", ""},
        {R"({"u":"https:\/\/quillon.app\/x"})", "u", "https://quillon.app/x"},
        {R"({"s":"a\"b\\c"})", "s", "a\"b\\c"},
        {R"({"s":"\t\r\n"})", "s", "\t\r\n"},
        // \u is not decoded, and \b \f stand for the letter.
        {R"({"s":"\u0041"})", "s", "u0041"},
        {R"({"s":"\b\f"})", "s", "bf"},
        // A missing closing quote keeps the rest; a final lone backslash stays.
        {R"({"a":"open)", "a", "open"},
        {"{\"a\":\"x\\", "a", "x\\"},
        {R"({"a":")", "a", ""},
        {R"({"a")", "a", ""},
        {R"({"a":5})", "a", ""},
        // A non-string value yields the next string found after it.
        {R"({"a":5,"b":"next"})", "a", "b"},
        // The first quoted occurrence of the key wins, wherever it is.
        {R"({"note":"a","b":"other","a":"real"})", "a", "other"},
        {R"({"x":{"a":"inner"},"a":"outer"})", "a", "inner"},
        {R"({"x":"\"a\":","a":"real"})", "a", "real"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractJsonStringField(c.json, c.key), c.value) << c.json;
}

TEST(JsonScan, BoolMembersFallBackToTheDefault) {
    struct Case {
        std::string json;
        bool defaultValue, value;
    };
    const Case cases[] = {
        {R"({"e":true})", false, true},    {R"({"e":   true})", false, true},
        {R"({"e":false})", true, false},   {R"({"e" : false})", true, false},
        {R"({"e":trueish})", false, true}, {R"({"e":1})", true, true},
        {R"({"e":1})", false, false},      {"{\"e\":\ttrue}", false, false},
        {R"({"e":"true"})", false, false}, {R"({"f":false})", true, true},
        {R"({"e":tru)", false, false},     {R"({"e":)", true, true},
        {R"({"e")", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractJsonBoolField(c.json, "e", c.defaultValue), c.value) << c.json;
    }
}

TEST(Version, ParsesNumbersAndTagAndRefusesEveryOtherShape) {
    const ParsedVersion v = ParseVersionWithTag("12.345.6789-beta.10");
    EXPECT_TRUE(v.valid && v.hasBeta);
    EXPECT_EQ((std::vector<int64_t>{v.major, v.minor, v.patch, v.betaNumber}),
              (std::vector<int64_t>{12, 345, 6789, 10}));
    const ParsedVersion zeros = ParseVersionWithTag("01.002.00003");
    EXPECT_TRUE(zeros.valid && !zeros.hasBeta);
    EXPECT_EQ((std::vector<int64_t>{zeros.major, zeros.minor, zeros.patch}),
              (std::vector<int64_t>{1, 2, 3}));
    EXPECT_TRUE(IsValidVersionShape("99999.99999.99999-beta.99999"));
    EXPECT_TRUE(IsValidVersionShape("00000.0.0-beta.00000"));
    for (const std::string& text :
         Split("|1|1.2|1.2.3.4|v1.2.3|1.2.3-rc.1|1.2.3-beta|1.2.3-beta.|1.2.3-beta.1x|123456.0.0|"
               "0.123456.0|0.0.123456|1.2.3-beta.123456|1..3|.1.2|1.2.| 1.2.3|1.2.3 |+1.2.3|-1.2.3|"
               "1.2.3-|1.2.3-Beta.1|1.2.3-beta.-1|1.2.3-beta.1-beta.2|1.2.3\n|1.2.3-beta.1.2|"
               "1.-2.3|1.2.3--beta.1|１.2.3")) {
        const ParsedVersion bad = ParseVersionWithTag(text);
        EXPECT_FALSE(IsValidVersionShape(text)) << text;
        // A refused version carries no half-parsed numbers.
        EXPECT_TRUE(!bad.valid && bad.major == 0 && !bad.hasBeta) << text;
    }
}

// Each rank is newer than every rank before it; members of a rank are equal.
TEST(Version, OrderIsNumericWithPreReleasesBeforeTheirRelease) {
    const auto ranks = Split(
        "0.0.0 < 0.0.1-beta.0 < 0.0.1 < 1.0.1-beta.2 = 1.0.1-beta.02 < 1.0.1-beta.9 < "
        "1.0.1-beta.10 < 1.0.1 = 01.0.1 = 1.00.001 < 1.0.2-beta.1 < 1.0.9 < 1.0.10 = 1.0.010 < "
        "1.9.99999 < 1.10.0 < 1.99999.99999 < 2.0.0-beta.99999 < 2.0.0 < 99999.99999.99999",
        " < ");
    for (size_t i = 0; i < ranks.size(); ++i) {
        for (size_t j = 0; j < ranks.size(); ++j) {
            for (const std::string& a : Split(ranks[i], " = ")) {
                for (const std::string& b : Split(ranks[j], " = ")) {
                    EXPECT_EQ(IsVersionGreater(a, b), i > j) << a << " vs " << b;
                }
            }
        }
    }
    // An invalid side is never greater, and never makes the other side greater.
    for (const char* invalid : {"1.0.2x", "garbage", "123456.0.0", ""}) {
        EXPECT_FALSE(IsVersionGreater(invalid, "0.0.0")) << invalid;
        EXPECT_FALSE(IsVersionGreater("99999.0.0", invalid)) << invalid;
    }
}

TEST(ManifestShapes, TierShaUrlAndPayload) {
    for (const std::string& tier :
         Split("free|pro|beta|mac-free|mac-pro|mac-beta|linux-free|linux-pro|linux-beta")) {
        EXPECT_TRUE(IsValidTierShape(tier)) << tier;
    }
    for (const std::string& tier : Split("|Free|linux-free | pro|win-free|linux|free\n")) {
        EXPECT_FALSE(IsValidTierShape(tier)) << tier;
    }
    EXPECT_FALSE(IsValidTierShape({"mac-free\0", 9}));
    const std::string sha = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    std::string upper = sha;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(IsValidSha256Shape(sha));
    for (const std::string& bad : {upper, sha.substr(1), sha + "0", sha.substr(1) + "g", {}}) {
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
    for (const std::string& url :
         Split("https://quillon.app|https://quillon.app/|https://quillon.app/downloads/"
               "quillon-1.0.2.zip|"
               "https://api.quillon.app/download/pro|https://QUILLON.app/x.zip|"
               "https://Api.Quillon.App?x=1|https://quillon.app#frag")) {
        EXPECT_TRUE(IsAllowedInstallerHost(url)) << url;
    }
    for (const std::string& url :
         Split("http://quillon.app/x.zip|HTTPS://quillon.app/x.zip|https:/quillon.app/x.zip|"
               "https://quillon.app:443/x.zip|https://quillon.app:8443/x.zip|"
               "https://user@quillon.app/x.zip|https://quillon.app@evil.example/x.zip|"
               "https://quillon.app.evil.example/x.zip|https://evilquillon.app/x.zip|"
               "https://www.quillon.app/x.zip|https://testers.quillon.app/update/x.zip|"
               "https://quillon.app./x.zip|https://quillon.app\\@evil.example/x.zip|"
               "https://quillon.application/x.zip|https://example.net/quillon.app|"
               "https:///quillon.app/x.zip|https://||quillon.app/x.zip")) {
        EXPECT_FALSE(IsAllowedInstallerHost(url)) << url;
    }
}

// Members are read in any order and beside others; the verifier gets the payload they make.
TEST(ManifestShapes, MembersInAnyOrder) {
    const std::string sha(64, 'a'), url = "https://quillon.app/q.zip";
    std::vector<std::pair<std::string, std::string>> members = {
        {"notes", "x"},         {"sha256", sha}, {"sig", "ab"},
        {"tier", "linux-free"}, {"url", url},    {"version", "1.0.2"}};
    const std::string payload = BuildManifestPayload("linux-free", "1.0.2", sha, url);
    const auto verify = [&](const std::string& p, const std::string& s) {
        return p == payload && s == "ab";
    };
    int orders = 0;
    do {
        std::string json = "{";
        for (const auto& [name, value] : members) {
            json += (json.size() > 1 ? ",\"" : "\"") + name + "\":\"" + value + "\"";
        }
        UpdateManifestInfo out;
        EXPECT_TRUE(EvaluateManifest(verify, json + "}", "linux-free", "1.0.1", out)) << json;
        EXPECT_EQ(out.tier + out.version + out.url + out.sha256 + out.sig,
                  "linux-free1.0.2" + url + sha + "ab");
        ++orders;
    } while (std::next_permutation(members.begin(), members.end()));
    EXPECT_EQ(orders, 720);
}
