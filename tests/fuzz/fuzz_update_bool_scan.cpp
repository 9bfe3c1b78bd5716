// Fuzzes the boolean member reader: a found literal gives the same answer whatever the
// default, and the answer always matches the text after the colon.
#include "tests/fuzz/fuzz_checks.h"
#include "update/json_scan.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    if (!SplitKeyAndText(data, size, key, text)) return 0;
    const bool withTrue = UpdateCore::ExtractJsonBoolField(text, key, true);
    const bool literalFound = withTrue == UpdateCore::ExtractJsonBoolField(text, key, false);

    const std::string needle = "\"" + key + "\"";
    const size_t at = text.find(needle);
    const size_t colon = at == std::string::npos ? at : text.find(':', at + needle.size());
    Require(colon != std::string::npos || !literalFound);
    if (colon == std::string::npos) return 0;
    const size_t value = std::min(text.find_first_not_of(' ', colon + 1), text.size());
    const bool isTrue = text.compare(value, 4, "true") == 0;
    Require(literalFound == (isTrue || text.compare(value, 5, "false") == 0));
    Require(!literalFound || withTrue == isTrue);
    return 0;
}
