#include "store/codecs.h"
#include "store/numbers.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

using Pieces = std::vector<std::string>;

TEST(SplitString, CutsLikeALineReader) {
    EXPECT_EQ(SplitString("", ','), Pieces{});
    EXPECT_EQ(SplitString(",", ','), Pieces{""});
    EXPECT_EQ(SplitString("a,b,", ','), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitString(",a", ','), (Pieces{"", "a"}));
    EXPECT_EQ(SplitString("a,,b", ','), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitString(" a , b ", ','), (Pieces{" a ", " b "}));
    EXPECT_EQ(SplitString("32|65|66", '|'), (Pieces{"32", "65", "66"}));
    EXPECT_EQ(SplitString(",,", ','), (Pieces{"", ""}));
}

TEST(ParseJSString, DeletesBracketsAndQuotesOnly) {
    EXPECT_EQ(ParseJSString("[\"a\",\"b\"]"), "a,b");
    EXPECT_EQ(ParseJSString("[]"), "");
    EXPECT_EQ(ParseJSString("[\"x[1]\"]"), "x1");
    EXPECT_EQ(ParseJSString("[1,2,\"x\"]"), "1,2,x");
    // A page string a"b arrives escaped; the backslash stays, the quote goes.
    EXPECT_EQ(ParseJSString("[\"a\\\"b\"]"), "a\\b");
    EXPECT_EQ(ParseJSString("[\" a\\n \"]"), " a\\n ");
}

TEST(JsonEscapeForBind, EscapesLikeTheWebViewLibrary) {
    EXPECT_EQ(JsonEscapeForBind(""), "\"\"");
    EXPECT_EQ(JsonEscapeForBind("a\nb"), "\"a\\nb\"");
    EXPECT_EQ(JsonEscapeForBind("\"\\/"), "\"\\\"\\\\/\"");
    EXPECT_EQ(JsonEscapeForBind("\b\t\f\r"), "\"\\b\\t\\f\\r\"");
    EXPECT_EQ(JsonEscapeForBind(std::string("\x0b\x01\x1f", 3)), "\"\\u000b\\u0001\\u001f\"");
    EXPECT_EQ(JsonEscapeForBind(std::string("\0", 1)), "\"\\u0000\"");
    EXPECT_EQ(JsonEscapeForBind("\x7f\xc3\xa9"), "\"\x7f\xc3\xa9\"");
}

TEST(ReadFile, ReadsWholeFilesByteForByte) {
    char dir[] = "/tmp/qln-readfile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/f";
    EXPECT_EQ(ReadFile(path), "");
    const std::string content("a\r\nb\0c", 6);
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(ReadFile(dir), "");
    unlink(path.c_str());
    rmdir(dir);
}

TEST(Numbers, IntegersReadLikeTheStandardConversion) {
    int32_t v = 7;
    EXPECT_TRUE(ParseInt32("12px", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ParseInt32(" \t-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(ParseInt32("+8", v));
    EXPECT_EQ(v, 8);
    EXPECT_TRUE(ParseInt32("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(ParseInt32("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<int32_t>::min());
    v = 7;
    for (const char* bad :
         {"", " ", "x", "-", "+-1", "- 1", "2147483648", "-2147483649", "99999999999999999999999",
          "\x01"
          "1"}) {
        EXPECT_FALSE(ParseInt32(bad, v)) << bad;
    }
    EXPECT_EQ(v, 7);
    int64_t w = 0;
    EXPECT_TRUE(ParseInt64("-9223372036854775808", w));
    EXPECT_EQ(w, std::numeric_limits<int64_t>::min());
    EXPECT_FALSE(ParseInt64("9223372036854775808", w));
    uint64_t u = 0;
    EXPECT_TRUE(ParseUInt64("18446744073709551615", u));
    EXPECT_EQ(u, std::numeric_limits<uint64_t>::max());
    EXPECT_FALSE(ParseUInt64("18446744073709551616", u));
    EXPECT_TRUE(ParseUInt64("-1", u));
    EXPECT_EQ(u, std::numeric_limits<uint64_t>::max());
}

TEST(Numbers, FloatsReadLikeTheStandardConversion) {
    double d = 0;
    EXPECT_TRUE(ParseDouble(" 1.5x", d));
    EXPECT_EQ(d, 1.5);
    EXPECT_TRUE(ParseDouble("-2e3", d));
    EXPECT_EQ(d, -2000.0);
    EXPECT_TRUE(ParseDouble("+.5", d));
    EXPECT_EQ(d, 0.5);
    EXPECT_TRUE(ParseDouble("inf", d));
    EXPECT_TRUE(std::isinf(d));
    EXPECT_TRUE(ParseDouble("nan", d));
    EXPECT_TRUE(std::isnan(d));
    for (const char* bad : {"", "x", ".", "-", "+-1", "e5", "1e999"}) {
        EXPECT_FALSE(ParseDouble(bad, d)) << bad;
    }
    float f = 0;
    EXPECT_TRUE(ParseFloat("0.333333", f));
    EXPECT_EQ(f, 0.333333f);
    EXPECT_FALSE(ParseFloat("1e39", f));
}

TEST(Numbers, FormatsLikeTheDefaultStreamFormat) {
    EXPECT_EQ(FormatStreamFloat(1.0f), "1");
    EXPECT_EQ(FormatStreamFloat(1.5f), "1.5");
    EXPECT_EQ(FormatStreamFloat(0.25f), "0.25");
    EXPECT_EQ(FormatStreamFloat(2.0f), "2");
    EXPECT_EQ(FormatStreamFloat(0.5f), "0.5");
    EXPECT_EQ(FormatStreamFloat(1.25f), "1.25");
    EXPECT_EQ(FormatStreamFloat(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(FormatStreamDouble(123.4567), "123.457");
    EXPECT_EQ(FormatStreamDouble(1234.5678), "1234.57");
    EXPECT_EQ(FormatStreamDouble(1e-5), "1e-05");
    EXPECT_EQ(FormatStreamDouble(1234567.0), "1.23457e+06");
    EXPECT_EQ(FormatStreamDouble(-0.0), "-0");
    // The same as printf's %g in the C locale, for a spread of values.
    for (double value : {0.0, 0.1, 100000.0, 999999.5, 1e15, 3.14159265, -42.125, 1e-300}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%g", value);
        EXPECT_EQ(FormatStreamDouble(value), expected);
    }
    // What the writer writes reads back to a value that is written the same way.
    for (double value : {0.1, 1234.5678, 1e-7, 6.02214076e23, 987654.321}) {
        double back = 0;
        ASSERT_TRUE(ParseDouble(FormatStreamDouble(value), back));
        EXPECT_EQ(FormatStreamDouble(back), FormatStreamDouble(value));
    }
}
