// The update rules that need no key: lenient JSON members, versions, manifest shapes and hosts,
// as tabled in rules.txt; what a line cannot carry is checked here.
#include "tests/update/update_test.h"
#include "update/json_scan.h"
#include "update/manifest.h"
#include "update/version.h"

#include <gtest/gtest.h>

#include <map>

using namespace UpdateCore;

TEST(UpdateRules, Table) {
    const std::map<std::string, bool (*)(const std::string&)> shapes = {
        {"tier", IsValidTierShape},
        {"sha", IsValidSha256Shape},
        {"url", IsValidManifestUrlShape},
        {"host", IsAllowedInstallerHost},
        {"version", IsValidVersionShape}};
    int cases = 0;
    for (const std::string& line : Split(Slurp(QLN_VECTORS_DIR "/../rules.txt"), "\n")) {
        if (line.empty() || line[0] == '#') continue;
        const std::string kind = line.substr(0, line.find(' ')),
                          rest = line.substr(kind.size() + 1);
        const size_t arrow = rest.rfind(" =>");
        const std::string result =
            arrow == std::string::npos ? "" : rest.substr(arrow + 3 + (rest.size() > arrow + 3));
        const std::string before = rest.substr(0, arrow), word = before.substr(0, before.find(' '));
        const std::string json = before.substr(std::min(word.size() + 1, before.size()));
        ++cases;
        if (kind == "string") {
            EXPECT_EQ(ExtractJsonStringField(json, word), result) << line;
        } else if (kind == "bool") {
            EXPECT_EQ(ExtractJsonBoolField(json, "e", word == "1"), result == "1") << line;
        } else if (kind == "order") {
            // Each rank is newer than every rank before it; members of a rank are equal.
            const auto ranks = Split(rest, " < ");
            for (size_t i = 0; i < ranks.size(); ++i) {
                for (size_t j = 0; j < ranks.size(); ++j) {
                    for (const std::string& a : Split(ranks[i], " = ")) {
                        for (const std::string& b : Split(ranks[j], " = ")) {
                            EXPECT_EQ(IsVersionGreater(a, b), i > j) << a << " vs " << b;
                        }
                    }
                }
            }
        } else if (shapes.count(kind)) {
            EXPECT_EQ(shapes.at(kind)(rest.substr(2, arrow - 2)), rest[0] == '+') << line;
        } else {
            ADD_FAILURE() << line;
        }
    }
    EXPECT_GE(cases, 100);
    // Line feeds and NULs.
    EXPECT_EQ(ExtractJsonStringField(R"({"s":"\t\r\n"})", "s"), "\t\r\n");
    EXPECT_FALSE(IsValidVersionShape("1.2.3\n") || IsValidTierShape("free\n"));
    EXPECT_FALSE(IsValidTierShape({"mac-free\0", 9}) ||
                 IsValidManifestUrlShape({"https://q.app/\0", 15}));
}
