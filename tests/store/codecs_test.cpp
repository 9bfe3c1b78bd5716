#include "store/codecs.h"
#include "store/numbers.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

using Pieces = std::vector<std::string>;

TEST(Codecs, SplitFlattenAndEscape) {
    const std::pair<std::string, Pieces> splits[] = {{"", {}},
                                                     {",", {""}},
                                                     {"a,b,", {"a", "b"}},
                                                     {",a", {"", "a"}},
                                                     {",,", {"", ""}},
                                                     {"a,,b", {"a", "", "b"}},
                                                     {" a , b ", {" a ", " b "}}};
    for (const auto& [text, pieces] : splits) EXPECT_EQ(SplitString(text, ','), pieces) << text;
    EXPECT_EQ(SplitString("32|65|66", '|'), (Pieces{"32", "65", "66"}));

    // Brackets and quotes go, escapes stay undecoded.
    const std::pair<std::string, std::string> flattened[] = {
        {"[\"a\",\"b\"]", "a,b"}, {"[]", ""},
        {"[\"x[1]\"]", "x1"},     {"[1,2,\"x\"]", "1,2,x"},
        {"[\"a\\\"b\"]", "a\\b"}, {"[\" a\\n \"]", " a\\n "}};
    for (const auto& [text, flat] : flattened) EXPECT_EQ(ParseJSString(text), flat) << text;

    const std::pair<std::string, std::string> escaped[] = {
        {"", "\"\""},
        {"a\nb", "\"a\\nb\""},
        {"\"\\/", "\"\\\"\\\\/\""},
        {"\b\t\f\r", "\"\\b\\t\\f\\r\""},
        {std::string("\x0b\x01\x1f\0", 4), "\"\\u000b\\u0001\\u001f\\u0000\""},
        {"\x7f\xc3\xa9", "\"\x7f\xc3\xa9\""}};
    for (const auto& [text, json] : escaped) EXPECT_EQ(JsonEscapeForBind(text), json) << text;
}

TEST(Codecs, ReadFileIsByteForByte) {
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

// The C library conversions are the reference: same acceptance, same value.
TEST(Numbers, ReadLikeTheStandardConversions) {
    for (const char* text : {"12px",
                             " \t-5",
                             "+8",
                             "2147483647",
                             "-2147483648",
                             "2147483648",
                             "-2147483649",
                             "",
                             " ",
                             "x",
                             "-",
                             "+-1",
                             "- 1",
                             "99999999999999999999999",
                             "\x01"
                             "1",
                             "9223372036854775807",
                             "-9223372036854775808",
                             "9223372036854775808",
                             "18446744073709551615",
                             "18446744073709551616",
                             "-1",
                             "007"}) {
        char* end = nullptr;
        errno = 0;
        const long long wide = std::strtoll(text, &end, 10);
        const bool wideOk = end != text && errno == 0;
        int64_t v64 = 0;
        EXPECT_EQ(ParseInt64(text, v64), wideOk) << text;
        if (wideOk) {
            EXPECT_EQ(v64, wide) << text;
        }
        int32_t v32 = 7;
        const bool fits32 = wideOk && wide >= INT32_MIN && wide <= INT32_MAX;
        EXPECT_EQ(ParseInt32(text, v32), fits32) << text;
        EXPECT_EQ(v32, fits32 ? wide : 7) << "untouched on failure: " << text;
        errno = 0;
        const unsigned long long unsignedWide = std::strtoull(text, &end, 10);
        const bool unsignedOk = end != text && errno == 0;
        uint64_t u64 = 0;
        EXPECT_EQ(ParseUInt64(text, u64), unsignedOk) << text;
        if (unsignedOk) {
            EXPECT_EQ(u64, unsignedWide) << text;
        }
    }
    // Hexadecimal forms read as the C library reads them; out of range, too small included, fails.
    for (const char* text : {" 1.5x",         "-2e3",       "+.5",     "inf",      "-nan",
                             "0.333333",      "",           "x",       ".",        "-",
                             "+-1",           "e5",         "1e999",   "1e39",     "3.4e38",
                             "0x1p1",         " -0X1.8P1z", "0x",      "infinity", "nan(7)",
                             "1e-40",         "1e-310",     "-1e-310", "1e-46",    "0x1p-1074",
                             "1.17549435e-38"}) {
        char* end = nullptr;
        errno = 0;
        const double wide = std::strtod(text, &end);
        const bool ok = end != text && errno == 0;
        double d = 7;
        EXPECT_EQ(ParseDouble(text, d), ok) << text;
        EXPECT_TRUE(ok ? (d == wide || (std::isnan(d) && std::isnan(wide))) : d == 7) << text;
        errno = 0;
        const float narrow = std::strtof(text, &end);
        const bool narrowOk = end != text && errno == 0;
        float f = 7;
        EXPECT_EQ(ParseFloat(text, f), narrowOk) << text;
        EXPECT_TRUE(narrowOk ? (f == narrow || (std::isnan(f) && std::isnan(narrow))) : f == 7)
            << text;
    }
    double two = 0;
    float tiny = 7;
    EXPECT_TRUE(ParseDouble("0x1p1", two) && two == 2);
    EXPECT_FALSE(ParseFloat("1e-40", tiny) || ParseDouble("1e-310", two));
}

// The default output-stream form is the reference, for floats and doubles.
TEST(Numbers, FormatLikeTheDefaultStreamFormat) {
    for (double value : {0.0, -0.0, 1.0, 1.5, 0.25, 0.1, 123.4567, 1234.5678, 1e-5, 1234567.0,
                         100000.0, 999999.5, 1e15, 3.14159265, -42.125, 1e-300, 6.02214076e23}) {
        std::ostringstream wide;
        wide << value;
        EXPECT_EQ(FormatStreamDouble(value), wide.str());
        std::ostringstream narrow;
        narrow << static_cast<float>(value);
        EXPECT_EQ(FormatStreamFloat(static_cast<float>(value)), narrow.str());
        // What the writer writes reads back to a value that is written the same way.
        double back = 0;
        ASSERT_TRUE(ParseDouble(wide.str(), back));
        EXPECT_EQ(FormatStreamDouble(back), wide.str());
    }
    EXPECT_EQ(FormatStreamFloat(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(FormatStreamDouble(1234567.0), "1.23457e+06");
}
