// Fuzzes the version parser and order: three versions separated by line feeds. The order must
// be irreflexive, antisymmetric and transitive, only relate valid versions, and ignore leading
// zeros.
#include "tests/fuzz/fuzz_checks.h"
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
    Require(!IsVersionGreater(a, a));
    if (!v.valid) {
        Require(v.major == 0 && v.minor == 0 && v.patch == 0 && !v.hasBeta && v.betaNumber == 0);
        return;
    }
    for (int64_t part : {v.major, v.minor, v.patch, v.betaNumber})
        Require(part >= 0 && part <= 99999);
    Require(v.hasBeta || v.betaNumber == 0);
    const std::string canonical = Canonical(v);
    Require(ParseVersionWithTag(canonical).valid);
    Require(!IsVersionGreater(a, canonical) && !IsVersionGreater(canonical, a));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = Text(data, size);
    const size_t first = input.find('\n');
    const size_t second = first == std::string::npos ? first : input.find('\n', first + 1);
    const std::string a = input.substr(0, first);
    const std::string b =
        first == std::string::npos ? "" : input.substr(first + 1, second - first - 1);
    const std::string c = second == std::string::npos ? "" : input.substr(second + 1);
    for (const std::string& v : {a, b, c}) CheckOne(v);
    const bool ab = IsVersionGreater(a, b);
    const bool ba = IsVersionGreater(b, a);
    const ParsedVersion pa = ParseVersionWithTag(a);
    const ParsedVersion pb = ParseVersionWithTag(b);
    Require(!(ab && ba));
    Require(!(ab || ba) || (pa.valid && pb.valid));
    Require(!ab || !IsVersionGreater(b, c) || IsVersionGreater(a, c));
    // Totality among valid versions: two that are not ordered are equal in every field.
    Require(ab || ba || !pa.valid || !pb.valid || Canonical(pa) == Canonical(pb));
    return 0;
}
