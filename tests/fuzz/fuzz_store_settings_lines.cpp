// Settings lines and update records: never crash, and a line that was read is written back in
// a form that reads back to the same line.

#include "state/tool_state.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    ResetToolStateForTest();
    switch (data[0] % 5) {
        case 0:
            DeserializeSettings(text);
            break;
        case 1:
            DeserializeProfileSettings(text);
            break;
        case 2:
            DeserializeKeySpamTargetList(text);
            break;
        case 3:
            ApplySpammerUpdate(text);
            break;
        default:
            ApplyKeySpamUpdate(text);
            break;
    }
    if (keySpamTargetCount.load() < 0 || keySpamTargetCount.load() > kKeySpamCap) std::abort();
    const std::string full = SerializeSettings();
    const std::string profile = SerializeProfileSettings();
    const std::string json = BuildSettingsJson();
    if (json.front() != '{' || json.back() != '}') std::abort();
    DeserializeSettings(full);
    if (SerializeSettings() != full) std::abort();
    DeserializeProfileSettings(profile);
    if (SerializeProfileSettings() != profile) std::abort();
    return 0;
}
