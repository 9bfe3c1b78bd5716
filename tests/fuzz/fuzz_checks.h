#pragma once

// Shared by the fuzz targets; the number comparisons also serve the store tests' chosen rows.

#include "store/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// A broken invariant aborts, so that libFuzzer keeps the input that broke it.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

inline std::string Text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A short key (its length in the first byte, at most 7) and the text after it.
inline bool SplitKeyAndText(const uint8_t* data, size_t size, std::string& key, std::string& text) {
    if (size == 0 || size < 1u + data[0] % 8) return false;
    key = Text(data + 1, data[0] % 8);
    text = Text(data + 1 + key.size(), size - 1 - key.size());
    return true;
}

// Our integer readers against strtoll and strtoull: the same acceptance, the same value, and the
// target untouched on failure. The C conversions stop at a NUL, so text must hold none.
inline bool IntegersAgreeWithLibc(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long wide = std::strtoll(text.c_str(), &end, 10);
    const bool wideOk = end != text.c_str() && errno == 0;
    errno = 0;
    const unsigned long long unsignedWide = std::strtoull(text.c_str(), &end, 10);
    const bool unsignedOk = end != text.c_str() && errno == 0;
    const bool fits = wideOk && wide >= INT32_MIN && wide <= INT32_MAX;
    int64_t v64 = 7;
    int32_t v32 = 7;
    uint64_t u64 = 7;
    return ParseInt64(text, v64) == wideOk && v64 == (wideOk ? wide : 7) &&
           ParseInt32(text, v32) == fits && v32 == (fits ? wide : 7) &&
           ParseUInt64(text, u64) == unsignedOk && u64 == (unsignedOk ? unsignedWide : 7u);
}

template <typename Float>
bool FloatAgrees(const std::string& text, bool (*parse)(std::string_view, Float&),
                 Float (*strto)(const char*, char**)) {
    char* end = nullptr;
    errno = 0;
    const Float expected = strto(text.c_str(), &end);
    const bool ok = end != text.c_str() && errno == 0;
    Float value = 7;
    if (parse(text, value) != ok) return false;
    return ok ? value == expected || (std::isnan(value) && std::isnan(expected)) : value == 7;
}

// The same for strtod and strtof, out of range and underflow included.
inline bool FloatsAgreeWithLibc(const std::string& text) {
    return FloatAgrees(text, ParseDouble, std::strtod) &&
           FloatAgrees(text, ParseFloat, std::strtof);
}
