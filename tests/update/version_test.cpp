#include "update/version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using UpdateCore::IsValidVersionShape;
using UpdateCore::IsVersionGreater;
using UpdateCore::ParsedVersion;
using UpdateCore::ParseVersionWithTag;

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

    for (const std::string text : {"",
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
                                   "１.2.3"}) {
        const ParsedVersion bad = ParseVersionWithTag(text);
        EXPECT_FALSE(IsValidVersionShape(text)) << text;
        // A refused version carries no half-parsed numbers.
        EXPECT_TRUE(!bad.valid && bad.major == 0 && !bad.hasBeta) << text;
    }
}

// Each group is newer than every group before it; members of a group are equal.
TEST(Version, OrderIsNumericWithPreReleasesBeforeTheirRelease) {
    const std::vector<std::vector<std::string>> ranks = {{"0.0.0"},
                                                         {"0.0.1-beta.0"},
                                                         {"0.0.1"},
                                                         {"1.0.1-beta.2", "1.0.1-beta.02"},
                                                         {"1.0.1-beta.9"},
                                                         {"1.0.1-beta.10"},
                                                         {"1.0.1", "01.0.1", "1.00.001"},
                                                         {"1.0.2-beta.1"},
                                                         {"1.0.9"},
                                                         {"1.0.10", "1.0.010"},
                                                         {"1.9.99999"},
                                                         {"1.10.0"},
                                                         {"1.99999.99999"},
                                                         {"2.0.0-beta.99999"},
                                                         {"2.0.0"},
                                                         {"99999.99999.99999"}};
    for (size_t i = 0; i < ranks.size(); ++i) {
        for (size_t j = 0; j < ranks.size(); ++j) {
            for (const std::string& a : ranks[i]) {
                for (const std::string& b : ranks[j]) {
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
