// Application settings: the reader and the bindings never crash, the text written reads back
// to itself, and the settings object stays JSON the page can parse.

#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Strings in the object are emitted verbatim, so none may hold a quote, a backslash or a
// control byte.
void CheckJsonStrings(const std::string& json) {
    bool inString = false;
    for (unsigned char c : json) {
        if (c == '"') {
            inString = !inString;
        } else if (inString && (c == '\\' || c < 0x20)) {
            std::abort();
        }
    }
    if (inString) std::abort();
}

void RunBindings(const std::string& script) {
    for (const std::string& call : SplitString(script, '\n')) {
        if (call.empty()) continue;
        const std::string argument = call.substr(1);
        switch (call[0] % 4) {
            case 0:
                ApplySetAppSetting(argument);
                break;
            case 1:
                ApplyMarkWarningSeen(argument);
                break;
            case 2:
                ApplySetPanelOrder(argument);
                break;
            default:
                BindReassignKey(argument);
                break;
        }
    }
    // Once, after the last call: a bad string that a later call took out again shows just as
    // well in the input without that call.
    CheckJsonStrings(BindGetAppSettings());
}

// Also reached from the plain corpus replayer, which has no initialisation hook: the real data
// folder must never be touched. The bindings run without their saves, whose text is checked in
// memory; the home lies below a device file, where nothing can be made, should anything else
// try to write.
bool UseHomeThatHoldsNothing() {
    setenv("XDG_DATA_HOME", "/dev/null/qln-fuzz", 1);
    setenv("XDG_CONFIG_HOME", "/dev/null/qln-fuzz", 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is a file's text, then optionally a NUL and binding calls, one per line.
    static const bool home = UseHomeThatHoldsNothing();
    (void)home;
    size_t fileSize = 0;
    while (fileSize < size && data[fileSize] != 0) ++fileSize;
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(std::string_view(reinterpret_cast<const char*>(data), fileSize));
    CheckJsonStrings(BindGetAppSettings());
    if (fileSize < size) {
        RunBindings(
            std::string(reinterpret_cast<const char*>(data) + fileSize + 1, size - fileSize - 1));
    }
    const std::string first = AppSettingsText();
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(first);
    if (AppSettingsText() != first) std::abort();
    // Everything this input allocated is freed before the next one, so the leak check has
    // nothing to chase.
    ResetAppSettingsForTest();
    std::vector<std::string>().swap(g_PanelOrder);
    return 0;
}
