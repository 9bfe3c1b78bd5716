#include "update/version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using UpdateCore::IsValidVersionShape;
using UpdateCore::IsVersionGreater;
using UpdateCore::ParsedVersion;
using UpdateCore::ParseVersionGroup;
using UpdateCore::ParseVersionWithTag;

TEST(Version, ParsesNumbersAndTag) {
    const ParsedVersion v = ParseVersionWithTag("12.345.6789-beta.10");
    EXPECT_TRUE(v.valid);
    EXPECT_EQ(v.major, 12);
    EXPECT_EQ(v.minor, 345);
    EXPECT_EQ(v.patch, 6789);
    EXPECT_TRUE(v.hasBeta);
    EXPECT_EQ(v.betaNumber, 10);

    const ParsedVersion plain = ParseVersionWithTag("01.002.00003");
    EXPECT_TRUE(plain.valid);
    EXPECT_EQ(plain.major, 1);
    EXPECT_EQ(plain.minor, 2);
    EXPECT_EQ(plain.patch, 3);
    EXPECT_FALSE(plain.hasBeta);
    EXPECT_EQ(plain.betaNumber, 0);

    const ParsedVersion top = ParseVersionWithTag("99999.99999.99999-beta.99999");
    EXPECT_TRUE(top.valid);
    EXPECT_EQ(top.betaNumber, 99999);
}

TEST(Version, RefusesEveryOtherShape) {
    const std::vector<std::string> bad = {"",
                                          "1",
                                          "1.2",
                                          "1.2.3.4",
                                          "v1.2.3",
                                          "1.2.3-rc.1",
                                          "1.2.3-beta",
                                          "1.2.3-beta.",
                                          "1.2.3-beta.1x",
                                          "123456.0.0",
                                          "0.123456.0",
                                          "0.0.123456",
                                          "1.2.3-beta.123456",
                                          "1..3",
                                          ".1.2",
                                          "1.2.",
                                          " 1.2.3",
                                          "1.2.3 ",
                                          "+1.2.3",
                                          "-1.2.3",
                                          "1.2.3-",
                                          "1.2.3-Beta.1",
                                          "1.2.3-beta.-1",
                                          "1.2.3-beta.1-beta.2",
                                          "1.2.3\n",
                                          "1.2.3-beta.1.2",
                                          "1.-2.3",
                                          "1.2.3--beta.1",
                                          "１.2.3"};
    for (const std::string& text : bad) {
        EXPECT_FALSE(IsValidVersionShape(text)) << text;
        const ParsedVersion v = ParseVersionWithTag(text);
        EXPECT_FALSE(v.valid) << text;
        // A refused version carries no half-parsed numbers.
        EXPECT_EQ(v.major, 0) << text;
        EXPECT_FALSE(v.hasBeta) << text;
    }
    EXPECT_TRUE(IsValidVersionShape("0.0.0"));
    EXPECT_TRUE(IsValidVersionShape("00000.0.0-beta.00000"));
}

TEST(Version, GroupParserLimits) {
    int64_t out = -1;
    EXPECT_TRUE(ParseVersionGroup("99999", 0, 5, out));
    EXPECT_EQ(out, 99999);
    EXPECT_FALSE(ParseVersionGroup("100000", 0, 6, out));
    EXPECT_FALSE(ParseVersionGroup("12", 1, 1, out));
    EXPECT_FALSE(ParseVersionGroup("12", 2, 1, out));
    EXPECT_FALSE(ParseVersionGroup("12", 0, 3, out));
    EXPECT_FALSE(ParseVersionGroup("1a", 0, 2, out));
    EXPECT_TRUE(ParseVersionGroup("x7y", 1, 2, out));
    EXPECT_EQ(out, 7);
}

TEST(Version, OrderIsNumericWithPreReleasesBeforeTheirRelease) {
    EXPECT_TRUE(IsVersionGreater("1.0.2", "1.0.1"));
    EXPECT_FALSE(IsVersionGreater("1.0.1", "1.0.1"));
    EXPECT_FALSE(IsVersionGreater("1.0.1", "1.0.2"));
    EXPECT_TRUE(IsVersionGreater("1.0.1", "1.0.1-beta.9"));
    EXPECT_TRUE(IsVersionGreater("1.0.1-beta.3", "1.0.1-beta.2"));
    EXPECT_FALSE(IsVersionGreater("1.0.1-beta.3", "1.0.1"));
    EXPECT_FALSE(IsVersionGreater("1.0.1-beta.3", "1.0.1-beta.3"));
    EXPECT_TRUE(IsVersionGreater("1.0.10", "1.0.9"));
    EXPECT_TRUE(IsVersionGreater("1.10.0", "1.9.99999"));
    EXPECT_TRUE(IsVersionGreater("2.0.0", "1.99999.99999"));
    EXPECT_TRUE(IsVersionGreater("1.0.1-beta.10", "1.0.1-beta.9"));
    EXPECT_TRUE(IsVersionGreater("1.0.2-beta.1", "1.0.1"));
    // Leading zeros do not change the number.
    EXPECT_FALSE(IsVersionGreater("01.0.1", "1.0.1"));
    EXPECT_TRUE(IsVersionGreater("1.0.010", "1.0.9"));
    // An invalid side is never greater, and never makes the other side greater.
    EXPECT_FALSE(IsVersionGreater("1.0.2x", "1.0.1"));
    EXPECT_FALSE(IsVersionGreater("1.0.2", "garbage"));
    EXPECT_FALSE(IsVersionGreater("123456.0.0", "1.0.0"));
}

TEST(Version, OrderIsAStrictTotalOrderOverASample) {
    const std::vector<std::string> sample = {
        "0.0.0", "0.0.1-beta.0",     "0.0.1", "1.0.1-beta.2",     "1.0.1-beta.10",
        "1.0.1", "01.0.1",           "1.0.9", "1.0.10",           "1.2.0-beta.1",
        "1.2.0", "2.0.0-beta.99999", "2.0.0", "99999.99999.99999"};
    for (const auto& a : sample) {
        EXPECT_FALSE(IsVersionGreater(a, a)) << a;
        for (const auto& b : sample) {
            EXPECT_FALSE(IsVersionGreater(a, b) && IsVersionGreater(b, a)) << a << " " << b;
            for (const auto& c : sample) {
                if (IsVersionGreater(a, b) && IsVersionGreater(b, c)) {
                    EXPECT_TRUE(IsVersionGreater(a, c)) << a << " " << b << " " << c;
                }
            }
        }
    }
    // The list is sorted, apart from the equal pair 1.0.1 / 01.0.1.
    for (size_t i = 0; i + 1 < sample.size(); ++i) {
        if (sample[i] == "1.0.1") continue;
        EXPECT_TRUE(IsVersionGreater(sample[i + 1], sample[i])) << sample[i + 1];
    }
}
