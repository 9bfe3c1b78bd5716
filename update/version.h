#pragma once

#include <cstdint>
#include <string>

namespace UpdateCore {

// The only pre-release tag: "1.2.3-beta.4".
inline constexpr const char kBetaPrefix[] = "beta.";

struct ParsedVersion {
    int64_t major = 0;
    int64_t minor = 0;
    int64_t patch = 0;
    bool hasBeta = false;
    int64_t betaNumber = 0;
    bool valid = false;
};

// Reads text[begin, end) as one version number of 1 to 5 ASCII digits.
bool ParseVersionGroup(const std::string& text, size_t begin, size_t end, int64_t& out);

// "major.minor.patch" with an optional "-beta.N"; anything else is invalid.
ParsedVersion ParseVersionWithTag(const std::string& text);

bool IsValidVersionShape(const std::string& text);

// Numeric order of major, minor and patch; at equal numbers a release is newer than any
// pre-release and pre-releases order by their number. Invalid versions are never greater.
bool IsVersionGreater(const std::string& candidate, const std::string& current);

}  // namespace UpdateCore
