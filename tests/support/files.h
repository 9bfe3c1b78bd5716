#pragma once

// Whole-file reader for tests that go through real files.

#include <fstream>
#include <iterator>
#include <string>

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
