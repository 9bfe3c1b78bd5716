#pragma once

// Whole-file reader for tests that go through real files.

#include <fstream>
#include <iterator>
#include <string>

// Empty when the file cannot be read; a file that vanishes while it is read (a thread's entry
// under /proc) gives what was read, instead of the exception the stream library throws then.
inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
    }
    return text;
}
