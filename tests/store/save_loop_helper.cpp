// Test helper: saves the session or the application settings over and over, switching between
// two known states, until it is killed. Also answers whether it can take the instance lock.
//   save_loop_helper session-expect <path>   writes <path>.a and <path>.b, the two texts
//   save_loop_helper session-loop <path>     saves state b, a, b, a, ... to <path>
//   save_loop_helper settings-expect <path>  the same for the settings
//   save_loop_helper settings-loop           saves the settings states to the data folder
//   save_loop_helper lock                    prints "acquired=<0|1> holder=<pid>"

#include "platform/linux/shell_files.h"
#include "platform/shell.h"
#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/profiles.h"
#include "store/session_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Two sessions different in every part; b holds enough events that a save takes a while.
void InstallSession(bool b) {
    std::vector<MacroProfile> list;
    list.push_back(MacroProfile{kDefaultProfileName, "", {}});
    MacroProfile recorded{b ? "second" : "first", "", {}};
    const int count = b ? 20000 : 8000;
    for (int i = 0; i < count; ++i) {
        UnifiedEvent e;
        e.type = i % 6;
        e.time = i * (b ? 0.003 : 0.007);
        e.x = i;
        e.y = -i;
        e.key = b ? 66 : 65;
        recorded.events.push_back(e);
    }
    list.push_back(std::move(recorded));
    autoClickIntervalMs.store(b ? 42 : 24);
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles = std::move(list);
    currentProfileIdx = b ? 1 : 0;
}

void InstallSettings(bool b) {
    g_SeenWarningIds = b ? std::set<std::string>{"one", "two"} : std::set<std::string>{"zero"};
    g_SavedWindowX.store(b ? 1000 : -5);
    g_AlwaysOnTop.store(b);
}

// Saves one state of the kind to path; the settings always go to the data folder.
bool Save(const std::string& kind, bool b, const std::string& path) {
    if (kind == "session") {
        InstallSession(b);
        return SaveSessionStateTo(path, true);
    }
    InstallSettings(b);
    return SaveAppSettings();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    const std::string path = argc > 2 ? argv[2] : "";
    const std::string kind = mode.substr(0, mode.find('-'));
    if (mode == "lock") {
        const bool acquired = OsAcquireSingleInstanceLock();
        std::printf("acquired=%d holder=%d\n", acquired ? 1 : 0, OsInstanceLockHolderPid());
        return 0;
    }
    if (kind != "session" && kind != "settings") return 2;
    if (mode == kind + "-loop") {
        for (bool b = true;; b = !b) Save(kind, b, path);
    }
    // The two texts, kept as <path>.a and <path>.b.
    const std::string saved = kind == "session" ? path : GetAppSettingsFilePath();
    for (bool b : {false, true}) {
        if (!Save(kind, b, saved) ||
            std::rename(saved.c_str(), (path + (b ? ".b" : ".a")).c_str()) != 0) {
            return 1;
        }
    }
    return 0;
}
