// Application settings: the file reader and the bindings never crash, the file written reads
// back to itself, and the settings object stays JSON the page can parse.

#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "tests/support/files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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
                BindSetAppSetting(argument);
                break;
            case 1:
                BindMarkWarningSeen(argument);
                break;
            case 2:
                BindSetPanelOrder(argument);
                break;
            default:
                BindReassignKey(argument);
                break;
        }
        CheckJsonStrings(BindGetAppSettings());
    }
}

// Also reached from the plain corpus replayer, which has no initialisation hook: the real
// data folder must never be touched.
bool UseScratchHome() {
    std::string home = "/dev/shm/qln-fuzz-settings-" + std::to_string(getpid());
    if (access("/dev/shm", W_OK) != 0) home = "/tmp/qln-fuzz-settings-" + std::to_string(getpid());
    mkdir(home.c_str(), 0700);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is a file, then optionally a NUL and binding calls, one per line.
    static const bool scratch = UseScratchHome();
    (void)scratch;
    size_t fileSize = 0;
    while (fileSize < size && data[fileSize] != 0) ++fileSize;
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    const std::string path = GetAppSettingsFilePath();
    Spill(path, data, fileSize);
    LoadAppSettings();
    CheckJsonStrings(BindGetAppSettings());
    if (fileSize < size) {
        RunBindings(
            std::string(reinterpret_cast<const char*>(data) + fileSize + 1, size - fileSize - 1));
    }
    if (!SaveAppSettings()) std::abort();
    const std::string first = Slurp(path);
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettings();
    if (!SaveAppSettings()) std::abort();
    if (Slurp(path) != first) std::abort();
    return 0;
}
