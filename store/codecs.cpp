#include "store/codecs.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>

std::vector<std::string> SplitString(const std::string& text, char sep) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(sep, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::string ParseJSString(std::string text) {
    for (char removed : {'[', ']', '"'}) {
        text.erase(std::remove(text.begin(), text.end(), removed), text.end());
    }
    return text;
}

std::string JsonEscapeForBind(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
    return out;
}

std::string ReadFile(const std::string& path) {
    // Reading a folder or a failing disk throws from inside the stream buffer.
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return {};
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return {};
        return content;
    } catch (const std::exception&) {
        return {};
    }
}

void AppendJsonMember(std::string& out, const char* key, const std::string& value) {
    if (out.size() > 1) out.push_back(',');
    out.push_back('"');
    out += key;
    out += "\":";
    out += value;
}
