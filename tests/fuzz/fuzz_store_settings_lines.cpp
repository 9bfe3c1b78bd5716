// Settings lines and update records: never crash, and a line that was read is written back in
// a form that reads back to the same line.

#include "state/tool_state.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    void (*const readers[])(const std::string&) = {DeserializeSettings, DeserializeProfileSettings,
                                                   DeserializeKeySpamTargetList, ApplySpammerUpdate,
                                                   ApplyKeySpamUpdate};
    ResetToolStateForTest();
    readers[data[0] % 5](Text(data + 1, size - 1));
    Require(keySpamTargetCount.load() >= 0 && keySpamTargetCount.load() <= kKeySpamCap);
    const std::string full = SerializeSettings();
    const std::string profile = SerializeProfileSettings();
    const std::string json = BuildSettingsJson();
    Require(json.front() == '{' && json.back() == '}');
    DeserializeSettings(full);
    Require(SerializeSettings() == full);
    DeserializeProfileSettings(profile);
    Require(SerializeProfileSettings() == profile);
    return 0;
}
