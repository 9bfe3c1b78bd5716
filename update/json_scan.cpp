#include "update/json_scan.h"

namespace UpdateCore {

namespace {

// Position just after the first ':' that follows the quoted key, or npos.
size_t FindValueStart(const std::string& json, const std::string& key) {
    const std::string needle = "\"" + key + "\"";
    const size_t at = json.find(needle);
    if (at == std::string::npos) return std::string::npos;
    const size_t colon = json.find(':', at + needle.size());
    if (colon == std::string::npos) return std::string::npos;
    return colon + 1;
}

char UnescapedChar(char c) {
    switch (c) {
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case 'n':
            return '\n';
        default:
            return c;
    }
}

}  // namespace

std::string ExtractJsonStringField(const std::string& json, const std::string& key) {
    const size_t valueStart = FindValueStart(json, key);
    if (valueStart == std::string::npos) return {};
    const size_t quote = json.find('"', valueStart);
    if (quote == std::string::npos || quote + 1 >= json.size()) return {};

    std::string value;
    for (size_t i = quote + 1; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < json.size()) {
            value.push_back(UnescapedChar(json[++i]));
        } else {
            value.push_back(c);
        }
    }
    return value;
}

bool ExtractJsonBoolField(const std::string& json, const std::string& key, bool defaultValue) {
    size_t pos = FindValueStart(json, key);
    if (pos == std::string::npos) return defaultValue;
    while (pos < json.size() && json[pos] == ' ') ++pos;
    if (json.compare(pos, 4, "true") == 0) return true;
    if (json.compare(pos, 5, "false") == 0) return false;
    return defaultValue;
}

}  // namespace UpdateCore
