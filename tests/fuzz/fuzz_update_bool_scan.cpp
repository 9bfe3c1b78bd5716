// Fuzzes the boolean member reader: a found literal gives the same answer whatever the
// default, and the answer always matches the text after the colon.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_key_text.h"
#include "update/json_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    if (!SplitKeyAndText(data, size, key, text)) return 0;

    const bool withTrue = UpdateCore::ExtractJsonBoolField(text, key, true);
    const bool withFalse = UpdateCore::ExtractJsonBoolField(text, key, false);
    const bool literalFound = withTrue == withFalse;

    const std::string needle = "\"" + key + "\"";
    const size_t at = text.find(needle);
    const size_t colon = at == std::string::npos ? at : text.find(':', at + needle.size());
    if (colon == std::string::npos) {
        if (literalFound) std::abort();
        return 0;
    }
    size_t pos = colon + 1;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const std::string rest = text.substr(pos);
    const bool isTrue = rest.rfind("true", 0) == 0;
    const bool isFalse = rest.rfind("false", 0) == 0;
    if (literalFound != (isTrue || isFalse)) std::abort();
    if (literalFound && withTrue != isTrue) std::abort();
    return 0;
}
