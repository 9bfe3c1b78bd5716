#include "update/version.h"

#include <cstring>

namespace UpdateCore {

namespace {

constexpr size_t kMaxGroupDigits = 5;

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Negative, zero or positive as a is older than, equal to or newer than b.
int CompareParsed(const ParsedVersion& a, const ParsedVersion& b) {
    if (a.major != b.major) return a.major < b.major ? -1 : 1;
    if (a.minor != b.minor) return a.minor < b.minor ? -1 : 1;
    if (a.patch != b.patch) return a.patch < b.patch ? -1 : 1;
    if (a.hasBeta != b.hasBeta) return a.hasBeta ? -1 : 1;
    if (!a.hasBeta) return 0;
    if (a.betaNumber != b.betaNumber) return a.betaNumber < b.betaNumber ? -1 : 1;
    return 0;
}

}  // namespace

bool ParseVersionGroup(const std::string& text, size_t begin, size_t end, int64_t& out) {
    if (end > text.size() || begin >= end || end - begin > kMaxGroupDigits) return false;
    int64_t value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (!IsAsciiDigit(text[i])) return false;
        value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
}

ParsedVersion ParseVersionWithTag(const std::string& text) {
    ParsedVersion v;
    const size_t p1 = text.find('.');
    if (p1 == std::string::npos) return v;
    const size_t p2 = text.find('.', p1 + 1);
    if (p2 == std::string::npos) return v;

    const size_t dash = text.find('-', p2 + 1);
    const size_t patchEnd = dash == std::string::npos ? text.size() : dash;
    if (!ParseVersionGroup(text, 0, p1, v.major) || !ParseVersionGroup(text, p1 + 1, p2, v.minor) ||
        !ParseVersionGroup(text, p2 + 1, patchEnd, v.patch)) {
        return ParsedVersion{};
    }
    if (dash == std::string::npos) {
        v.valid = true;
        return v;
    }

    const size_t prefixLength = std::strlen(kBetaPrefix);
    if (text.compare(dash + 1, prefixLength, kBetaPrefix) != 0 ||
        !ParseVersionGroup(text, dash + 1 + prefixLength, text.size(), v.betaNumber)) {
        return ParsedVersion{};
    }
    v.hasBeta = true;
    v.valid = true;
    return v;
}

bool IsValidVersionShape(const std::string& text) { return ParseVersionWithTag(text).valid; }

bool IsVersionGreater(const std::string& candidate, const std::string& current) {
    const ParsedVersion a = ParseVersionWithTag(candidate);
    const ParsedVersion b = ParseVersionWithTag(current);
    if (!a.valid || !b.valid) return false;
    return CompareParsed(a, b) > 0;
}

}  // namespace UpdateCore
