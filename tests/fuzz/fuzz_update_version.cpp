// Fuzzes the version parser and order: three versions separated by line feeds. The order must
// be irreflexive, antisymmetric and transitive, only relate valid versions, and ignore leading
// zeros.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/version.h"

namespace {

using UpdateCore::IsVersionGreater;
using UpdateCore::ParsedVersion;
using UpdateCore::ParseVersionWithTag;

std::string Canonical(const ParsedVersion& v) {
    std::string text =
        std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
    if (v.hasBeta) text += "-beta." + std::to_string(v.betaNumber);
    return text;
}

void CheckOne(const std::string& a) {
    const ParsedVersion v = ParseVersionWithTag(a);
    if (IsVersionGreater(a, a)) std::abort();
    if (!v.valid) {
        if (v.major != 0 || v.minor != 0 || v.patch != 0 || v.hasBeta || v.betaNumber != 0) {
            std::abort();
        }
        return;
    }
    const int64_t limit = 99999;
    if (v.major > limit || v.minor > limit || v.patch > limit || v.betaNumber > limit ||
        v.major < 0 || v.minor < 0 || v.patch < 0 || v.betaNumber < 0) {
        std::abort();
    }
    if (!v.hasBeta && v.betaNumber != 0) std::abort();
    const std::string canonical = Canonical(v);
    if (!ParseVersionWithTag(canonical).valid) std::abort();
    if (IsVersionGreater(a, canonical) || IsVersionGreater(canonical, a)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\n');
    const size_t second = first == std::string::npos ? first : input.find('\n', first + 1);
    const std::string a = input.substr(0, first);
    const std::string b =
        first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
    const std::string c = second == std::string::npos ? "" : input.substr(second + 1);

    CheckOne(a);
    CheckOne(b);
    CheckOne(c);
    const bool ab = IsVersionGreater(a, b);
    const bool ba = IsVersionGreater(b, a);
    const bool bc = IsVersionGreater(b, c);
    if (ab && ba) std::abort();
    if ((ab || ba) && (!ParseVersionWithTag(a).valid || !ParseVersionWithTag(b).valid)) {
        std::abort();
    }
    if (ab && bc && !IsVersionGreater(a, c)) std::abort();
    // Totality among valid versions: two that are not ordered are equal in every field.
    if (!ab && !ba && ParseVersionWithTag(a).valid && ParseVersionWithTag(b).valid &&
        Canonical(ParseVersionWithTag(a)) != Canonical(ParseVersionWithTag(b))) {
        std::abort();
    }
    return 0;
}
