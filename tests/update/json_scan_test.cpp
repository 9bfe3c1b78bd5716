#include "update/json_scan.h"

#include <gtest/gtest.h>

#include <string>

using UpdateCore::ExtractJsonBoolField;
using UpdateCore::ExtractJsonStringField;

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
