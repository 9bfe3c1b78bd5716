// Text codecs and number conversions: no crash, nothing lost, and the number readers agree
// with the C library's conversions.

#include "store/codecs.h"
#include "store/numbers.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void CheckSplit(const std::string& text, char sep) {
    const std::vector<std::string> pieces = SplitString(text, sep);
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) joined.push_back(sep);
        joined += pieces[i];
    }
    if (!text.empty() && text.back() == sep) joined.push_back(sep);
    if (joined != text) std::abort();
}

// Decodes what JsonEscapeForBind produced; it must give back the input exactly.
void CheckEscape(const std::string& text) {
    const std::string literal = JsonEscapeForBind(text);
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') std::abort();
    std::string decoded;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(literal[i]);
        if (c < 0x20) std::abort();
        if (c == '"') std::abort();
        if (c != '\\') {
            decoded.push_back(static_cast<char>(c));
            continue;
        }
        const char kind = literal[++i];
        switch (kind) {
            case '"':
                decoded.push_back('"');
                break;
            case '\\':
                decoded.push_back('\\');
                break;
            case 'b':
                decoded.push_back('\b');
                break;
            case 't':
                decoded.push_back('\t');
                break;
            case 'n':
                decoded.push_back('\n');
                break;
            case 'f':
                decoded.push_back('\f');
                break;
            case 'r':
                decoded.push_back('\r');
                break;
            case 'u':
                decoded.push_back(
                    static_cast<char>(std::stoi(literal.substr(i + 1, 4), nullptr, 16)));
                i += 4;
                break;
            default:
                std::abort();
        }
    }
    if (decoded != text) std::abort();
}

void CheckFlatten(const std::string& text) {
    const std::string flat = ParseJSString(text);
    if (flat.find_first_of("[]\"") != std::string::npos) std::abort();
    size_t at = 0;
    for (char c : flat) {
        at = text.find(c, at);
        if (at == std::string::npos) std::abort();
        ++at;
    }
}

void CheckIntegers(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long long expected = std::strtoll(text.c_str(), &end, 10);
    const bool libcOk = end != text.c_str() && errno == 0;
    int64_t wide = 0;
    const bool ok = ParseInt64(text, wide);
    if (ok != libcOk || (ok && wide != expected)) std::abort();
    int32_t narrow = 0;
    const bool narrowOk = ParseInt32(text, narrow);
    const bool fits = libcOk && expected >= INT_MIN && expected <= INT_MAX;
    if (narrowOk != fits || (fits && narrow != expected)) std::abort();
}

template <typename Float>
bool SameValue(Float a, Float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

void CheckFloats(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double expected = std::strtod(text.c_str(), &end);
    const bool libcOk = end != text.c_str() && errno == 0;
    double value = 0;
    const bool ok = ParseDouble(text, value);
    if (ok != libcOk || (ok && !SameValue(value, expected))) std::abort();
    errno = 0;
    const float expectedNarrow = std::strtof(text.c_str(), &end);
    const bool narrowLibcOk = end != text.c_str() && errno == 0;
    float narrow = 0;
    const bool narrowOk = ParseFloat(text, narrow);
    if (narrowOk != narrowLibcOk || (narrowOk && !SameValue(narrow, expectedNarrow))) std::abort();
    if (!ok) return;
    const std::string once = FormatStreamDouble(value);
    double back = 0;
    if (!ParseDouble(once, back)) {
        // Six digits can put a value just above the smallest normal one below it, where the
        // reader refuses it as an underflow, as the C library does; nothing else may fail.
        errno = 0;
        const double reread = std::strtod(once.c_str(), nullptr);
        if (errno != ERANGE || std::fabs(reread) >= DBL_MIN) std::abort();
        return;
    }
    if (FormatStreamDouble(back) != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSplit(text, ',');
    CheckSplit(text, '|');
    CheckEscape(text);
    CheckFlatten(text);
    // The C conversions stop at a NUL; ours see the whole view, so compare without them.
    if (text.find('\0') == std::string::npos) {
        CheckIntegers(text);
        CheckFloats(text);
    }
    return 0;
}
