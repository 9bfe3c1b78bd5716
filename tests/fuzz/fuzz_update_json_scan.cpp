// Fuzzes the lenient member readers. Strings: never read out of bounds, never grow the text, and
// give back exactly any value written with its two mandatory escapes. Booleans: a found literal
// gives the same answer whatever the default, and the answer matches the text after the colon.
#include "tests/fuzz/fuzz_checks.h"
#include "update/json_scan.h"

#include <algorithm>

using namespace UpdateCore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    if (!SplitKeyAndText(data, size, key, text)) return 0;
    const std::string value = ExtractJsonStringField(text, key);
    const std::string needle = "\"" + key + "\"";
    Require(value.size() <= text.size());
    Require(value.empty() || text.find(needle) != std::string::npos);
    std::string escaped;
    for (char c : text) escaped += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
    Require(ExtractJsonStringField("{\"k\":\"" + escaped + "\"}", "k") == text);

    const bool withTrue = ExtractJsonBoolField(text, key, true);
    const bool literalFound = withTrue == ExtractJsonBoolField(text, key, false);
    const size_t at = text.find(needle);
    const size_t colon = at == std::string::npos ? at : text.find(':', at + needle.size());
    Require(colon != std::string::npos || !literalFound);
    if (colon == std::string::npos) return 0;
    const size_t start = std::min(text.find_first_not_of(' ', colon + 1), text.size());
    const bool isTrue = text.compare(start, 4, "true") == 0;
    Require(literalFound == (isTrue || text.compare(start, 5, "false") == 0));
    Require(!literalFound || withTrue == isTrue);
    return 0;
}
