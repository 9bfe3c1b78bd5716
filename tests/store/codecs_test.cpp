#include "store/codecs.h"
#include "store/numbers.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/store/store_env.h"

#include <sstream>

// Splitting and flattening are pinned by their fuzz target's invariants; the escapes spelled.
TEST(Codecs, EscapeAndReadFile) {
    const std::pair<std::string, std::string> escaped[] = {
        {"", "\"\""},
        {"a\nb", "\"a\\nb\""},
        {"\"\\/", "\"\\\"\\\\/\""},
        {"\b\t\f\r", "\"\\b\\t\\f\\r\""},
        {std::string("\x0b\x01\x1f\0", 4), "\"\\u000b\\u0001\\u001f\\u0000\""},
        {"\x7f\xc3\xa9", "\"\x7f\xc3\xa9\""}};
    for (const auto& [text, json] : escaped) EXPECT_EQ(JsonEscapeForBind(text), json) << text;

    const std::string path = TestHome() + "/read-file";
    EXPECT_EQ(ReadFile(path), "");
    WriteText(path, std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(path), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(ReadFile(TestHome()), "") << "a folder";
}

// The C library conversions are the reference: same acceptance, same value, and the target
// untouched on failure.
TEST(Numbers, ReadLikeTheStandardConversions) {
    for (const std::string& text : Split(
             "12px| \t-5|+8|2147483647|-2147483648|2147483648|-2147483649|| |x|-|+-1|- 1|\0011|-1|"
             "007| 1.5x|-2e3|+.5|inf|-nan|0.333333|.|e5|1e999|1e39|3.4e38|0x1p1| -0X1.8P1z|0x|"
             "infinity|nan(7)|1e-40|1e-310|-1e-310|1e-46|0x1p-1074|99999999999999999999999|"
             "9223372036854775807|-9223372036854775808|9223372036854775808|"
             "18446744073709551615|18446744073709551616|1.17549435e-38")) {
        EXPECT_TRUE(IntegersAgreeWithLibc(text)) << text;
        EXPECT_TRUE(FloatsAgreeWithLibc(text)) << text;
    }
}

// The default output-stream form is the reference, for floats and doubles.
TEST(Numbers, FormatLikeTheDefaultStreamFormat) {
    for (double value : {0.0, -0.0, 1.0, 1.5, 0.25, 0.1, 123.4567, 1234.5678, 1e-5, 1234567.0,
                         100000.0, 999999.5, 1e15, 3.14159265, -42.125, 1e-300, 6.02214076e23}) {
        std::ostringstream wide;
        std::ostringstream narrow;
        wide << value;
        narrow << static_cast<float>(value);
        EXPECT_EQ(FormatStreamDouble(value), wide.str());
        EXPECT_EQ(FormatStreamFloat(static_cast<float>(value)), narrow.str());
    }
    EXPECT_EQ(FormatStreamFloat(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(FormatStreamDouble(1234567.0), "1.23457e+06");
}
