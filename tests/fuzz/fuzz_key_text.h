#pragma once

// Fuzz input as a short key (its length in the first byte, at most 7) and the text after it.

#include <cstddef>
#include <cstdint>
#include <string>

inline bool SplitKeyAndText(const uint8_t* data, size_t size, std::string& key, std::string& text) {
    if (size == 0) return false;
    const size_t keyLength = data[0] % 8;
    if (size < 1 + keyLength) return false;
    key.assign(reinterpret_cast<const char*>(data + 1), keyLength);
    text.assign(reinterpret_cast<const char*>(data + 1 + keyLength), size - 1 - keyLength);
    return true;
}
