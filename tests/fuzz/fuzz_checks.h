#pragma once

// Shared by the fuzz targets.

#include <cstdint>
#include <cstdlib>

// A broken invariant aborts, so that libFuzzer keeps the input that broke it.
inline void Require(bool holds) {
    if (!holds) std::abort();
}
