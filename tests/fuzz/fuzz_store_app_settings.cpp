// Application settings: the reader and the bindings never crash, the text written reads back
// to itself, and the settings object stays JSON the page can parse.

#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "tests/fuzz/fuzz_checks.h"

#include <algorithm>
#include <vector>

namespace {

// Strings in the object are emitted verbatim, so none may hold a quote, a backslash or a
// control byte.
void CheckJsonStrings(const std::string& json) {
    bool inString = false;
    for (unsigned char c : json) {
        if (c == '"') inString = !inString;
        Require(!inString || (c != '\\' && c >= 0x20));
    }
    Require(!inString);
}

void RunBindings(const std::string& script) {
    for (const std::string& call : SplitString(script, '\n')) {
        if (call.empty()) continue;
        const std::string argument = call.substr(1);
        const int which = call[0] % 4;
        if (which == 0) {
            ApplySetAppSetting(argument);
        } else if (which == 1) {
            ApplyMarkWarningSeen(argument);
        } else if (which == 2) {
            ApplySetPanelOrder(argument);
        } else {
            BindReassignKey(argument);
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
    [[maybe_unused]] static const bool home = UseHomeThatHoldsNothing();
    const std::string input = Text(data, size);
    const size_t fileSize = std::min(input.find('\0'), size);
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(std::string_view(input).substr(0, fileSize));
    CheckJsonStrings(BindGetAppSettings());
    if (fileSize < size) RunBindings(input.substr(fileSize + 1));
    const std::string first = AppSettingsText();
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(first);
    Require(AppSettingsText() == first);
    // Everything this input allocated is freed before the next one, so the leak check has
    // nothing to chase.
    ResetAppSettingsForTest();
    std::vector<std::string>().swap(g_PanelOrder);
    return 0;
}
