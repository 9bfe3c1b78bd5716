#include "update/json_scan.h"

#include <gtest/gtest.h>

using UpdateCore::ExtractJsonBoolField;
using UpdateCore::ExtractJsonStringField;

TEST(JsonScan, StringMembersInAnyOrderAndPosition) {
    const std::string json = R"({"b":"two", "a" : "one","c":"three"})";
    EXPECT_EQ(ExtractJsonStringField(json, "a"), "one");
    EXPECT_EQ(ExtractJsonStringField(json, "b"), "two");
    EXPECT_EQ(ExtractJsonStringField(json, "c"), "three");
    EXPECT_EQ(ExtractJsonStringField(json, "d"), "");
    EXPECT_EQ(ExtractJsonStringField("", "a"), "");
    EXPECT_EQ(ExtractJsonStringField(R"({"a":""})", "a"), "");
}

TEST(JsonScan, StringEscapesResolveAsTheReaderPromises) {
    EXPECT_EQ(ExtractJsonStringField(R"({"u":"https:\/\/quillon.app\/x"})", "u"),
              "https://quillon.app/x");
    EXPECT_EQ(ExtractJsonStringField(R"({"s":"a\"b\\c"})", "s"), "a\"b\\c");
    EXPECT_EQ(ExtractJsonStringField(R"({"s":"\t\r\n"})", "s"), "\t\r\n");
    // \u is not decoded: the letter and the digits come through.
    EXPECT_EQ(ExtractJsonStringField(R"({"s":"\u0041"})", "s"), "u0041");
    EXPECT_EQ(ExtractJsonStringField(R"({"s":"\b\f"})", "s"), "bf");
}

TEST(JsonScan, StringScannerEdgeShapes) {
    // A missing closing quote keeps everything to the end.
    EXPECT_EQ(ExtractJsonStringField(R"({"a":"open)", "a"), "open");
    // A final lone backslash stays in the value.
    EXPECT_EQ(ExtractJsonStringField("{\"a\":\"x\\", "a"), "x\\");
    // The opening quote as last character, and no colon or quote at all.
    EXPECT_EQ(ExtractJsonStringField(R"({"a":")", "a"), "");
    EXPECT_EQ(ExtractJsonStringField(R"({"a")", "a"), "");
    EXPECT_EQ(ExtractJsonStringField(R"({"a":5})", "a"), "");
    // A non-string value yields the next string found after it.
    EXPECT_EQ(ExtractJsonStringField(R"({"a":5,"b":"next"})", "a"), "b");
    // The first occurrence of the quoted key wins, wherever it is: here a value equal to the
    // key, so the next member's value is read.
    EXPECT_EQ(ExtractJsonStringField(R"({"note":"a","b":"other","a":"real"})", "a"), "other");
    EXPECT_EQ(ExtractJsonStringField(R"({"x":{"a":"inner"},"a":"outer"})", "a"), "inner");
    // An escaped quote does not make a needle.
    EXPECT_EQ(ExtractJsonStringField(R"({"x":"\"a\":","a":"real"})", "a"), "real");
}

TEST(JsonScan, BoolMembers) {
    EXPECT_TRUE(ExtractJsonBoolField(R"({"e":true})", "e", false));
    EXPECT_TRUE(ExtractJsonBoolField(R"({"e":   true})", "e", false));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e":false})", "e", true));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e" : false})", "e", true));
    // Prefix test: anything after the literal is not looked at.
    EXPECT_TRUE(ExtractJsonBoolField(R"({"e":trueish})", "e", false));
    // Other literals, tabs, numbers and missing members give the default.
    EXPECT_TRUE(ExtractJsonBoolField(R"({"e":1})", "e", true));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e":1})", "e", false));
    EXPECT_FALSE(ExtractJsonBoolField("{\"e\":\ttrue}", "e", false));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e":"true"})", "e", false));
    EXPECT_TRUE(ExtractJsonBoolField(R"({"f":false})", "e", true));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e":tru)", "e", false));
    EXPECT_TRUE(ExtractJsonBoolField(R"({"e":)", "e", true));
    EXPECT_FALSE(ExtractJsonBoolField(R"({"e")", "e", false));
}
