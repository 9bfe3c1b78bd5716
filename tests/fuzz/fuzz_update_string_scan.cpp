// Fuzzes the lenient string member reader: never reads out of bounds, never grows the text,
// and gives back exactly any value written with its two mandatory escapes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_key_text.h"
#include "update/json_scan.h"

namespace {

std::string Escaped(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    if (!SplitKeyAndText(data, size, key, text)) return 0;

    const std::string value = UpdateCore::ExtractJsonStringField(text, key);
    if (value.size() > text.size()) std::abort();
    if (text.find("\"" + key + "\"") == std::string::npos && !value.empty()) std::abort();

    // Round trip under a plain key: the whole input as a value.
    if (UpdateCore::ExtractJsonStringField("{\"k\":\"" + Escaped(text) + "\"}", "k") != text) {
        std::abort();
    }
    return 0;
}
