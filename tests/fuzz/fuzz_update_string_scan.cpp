// Fuzzes the lenient string member reader: never reads out of bounds, never grows the text,
// and gives back exactly any value written with its two mandatory escapes.
#include "tests/fuzz/fuzz_checks.h"
#include "update/json_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    if (!SplitKeyAndText(data, size, key, text)) return 0;
    const std::string value = UpdateCore::ExtractJsonStringField(text, key);
    Require(value.size() <= text.size());
    Require(value.empty() || text.find("\"" + key + "\"") != std::string::npos);

    // Round trip under a plain key: the whole input as a value.
    std::string escaped;
    for (char c : text) escaped += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
    Require(UpdateCore::ExtractJsonStringField("{\"k\":\"" + escaped + "\"}", "k") == text);
    return 0;
}
