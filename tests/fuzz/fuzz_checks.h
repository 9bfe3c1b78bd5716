#pragma once

// Shared by the fuzz targets.

#include <cstdint>
#include <cstdlib>
#include <string>

// A broken invariant aborts, so that libFuzzer keeps the input that broke it.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

inline std::string Text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}
