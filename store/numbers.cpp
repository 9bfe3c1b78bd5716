#include "store/numbers.h"

#include <locale.h>
#include <stdlib.h>
#include <cerrno>
#include <charconv>
#include <limits>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips leading blanks and reads an optional sign; returns the position of the first digit.
size_t SkipBlanksAndSign(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

// Reads decimal digits into a magnitude; false without digits or beyond 64 bits.
bool ReadMagnitude(std::string_view text, size_t i, uint64_t& magnitude) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
        magnitude = magnitude * 10 + digit;
    }
    return !overflow;
}

// The C locale, so that a decimal comma set by the toolkit never changes what a file means.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// strtod and strtof decide what is a number (hex floats, inf and nan included); a result out of
// range, overflow and underflow alike, is a failure.
template <typename Float, typename Strto>
bool ParseFloating(std::string_view text, Float& out, Strto strto) {
    const locale_t locale = CLocale();
    if (locale == static_cast<locale_t>(nullptr)) return false;
    // The C conversions need a terminating NUL; short texts stay on the stack.
    char small[64];
    std::string large;
    const char* first = small;
    if (text.size() < sizeof small) {
        text.copy(small, text.size());
        small[text.size()] = '\0';
    } else {
        large.assign(text);
        first = large.c_str();
    }
    char* end = nullptr;
    errno = 0;
    const Float value = strto(first, &end, locale);
    if (end == first || errno == ERANGE) return false;
    out = value;
    return true;
}

}  // namespace

bool ParseInt64(std::string_view text, int64_t& out) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (!ReadMagnitude(text, SkipBlanksAndSign(text, negative), magnitude)) return false;
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (negative) {
        if (magnitude > limit + 1) return false;
        out = magnitude == limit + 1 ? std::numeric_limits<int64_t>::min()
                                     : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > limit) return false;
        out = static_cast<int64_t>(magnitude);
    }
    return true;
}

bool ParseInt32(std::string_view text, int32_t& out) {
    int64_t wide = 0;
    if (!ParseInt64(text, wide)) return false;
    if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    out = static_cast<int32_t>(wide);
    return true;
}

bool ParseUInt64(std::string_view text, uint64_t& out) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (!ReadMagnitude(text, SkipBlanksAndSign(text, negative), magnitude)) return false;
    out = negative ? 0 - magnitude : magnitude;
    return true;
}

bool ParseDouble(std::string_view text, double& out) { return ParseFloating(text, out, strtod_l); }
bool ParseFloat(std::string_view text, float& out) { return ParseFloating(text, out, strtof_l); }

void AppendStreamDouble(std::string& out, double value) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.append(buffer, result.ptr);
}

std::string FormatStreamDouble(double value) {
    std::string out;
    AppendStreamDouble(out, value);
    return out;
}

std::string FormatStreamFloat(float value) {
    // The stream widens a float to double before formatting it.
    return FormatStreamDouble(static_cast<double>(value));
}
