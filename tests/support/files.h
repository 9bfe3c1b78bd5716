#pragma once

// Whole-file reader for tests that go through real files, and lists of odd strings written as
// one text.

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// "a|b|c" as {"a", "b", "c"}; lists of odd strings stay on few lines this way.
inline std::vector<std::string> Split(const std::string& text, const std::string& by = "|") {
    std::vector<std::string> parts;
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + by.size()) {
        end = text.find(by, at);
        parts.push_back(text.substr(at, end - at));
    }
    return parts;
}

// The parts with `by` between them: Split's inverse.
inline std::string Joined(const std::vector<std::string>& parts, const std::string& by = " ") {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? by : "") + parts[i];
    return text;
}
