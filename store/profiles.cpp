#include "store/profiles.h"

#include "state/tool_state.h"
#include "store/codecs.h"
#include "store/numbers.h"
#include "store/settings_lines.h"

#include <mutex>

const char* const kDefaultProfileName = "Default Tracking Profile";

namespace {

// Applies a profile's stored settings to the live globals; empty text means the defaults.
void ApplyProfileSettings(const std::string& settings) {
    if (settings.empty()) {
        ResetSpammerKeySpamDefaults();
    } else {
        DeserializeProfileSettings(settings);
    }
}

// A recording or a playback works on the active profile; it stays put meanwhile.
bool MacroBusy() { return isRecording.load() || isPlaying.load(); }

bool ActiveIndexValidLocked() {
    return currentProfileIdx >= 0 && static_cast<size_t>(currentProfileIdx) < profiles.size();
}

MacroProfile& ActiveProfileLocked() { return profiles[static_cast<size_t>(currentProfileIdx)]; }

}  // namespace

void SnapshotActiveProfileSettings() {
    const std::string line = SerializeProfileSettings();
    std::lock_guard<std::mutex> lock(profileMutex);
    if (ActiveIndexValidLocked()) ActiveProfileLocked().settings = line;
}

void EnsureDefaultProfileExists() {
    std::lock_guard<std::mutex> lock(profileMutex);
    for (const auto& profile : profiles) {
        if (profile.name == kDefaultProfileName) return;
    }
    const bool hadProfiles = !profiles.empty();
    profiles.insert(profiles.begin(), MacroProfile{kDefaultProfileName, "", {}});
    if (hadProfiles) ++currentProfileIdx;
}

void BindClearProfile() {
    if (MacroBusy()) return;
    ResetSpammerKeySpamDefaults();
    const std::string line = SerializeProfileSettings();
    std::lock_guard<std::mutex> lock(profileMutex);
    if (!ActiveIndexValidLocked()) return;
    ActiveProfileLocked().events.clear();
    ActiveProfileLocked().settings = line;
}

void BindAddProfile(const std::string& request) {
    const std::string name = ParseJSString(request);
    // A line feed would split the name's line in the session file.
    if (MacroBusy() || name.empty() || name.find('\n') != std::string::npos) return;
    const std::string line = SerializeProfileSettings();
    std::lock_guard<std::mutex> lock(profileMutex);
    if (profiles.size() >= static_cast<size_t>(kProfileCap)) return;
    profiles.push_back(MacroProfile{name, line, {}});
    currentProfileIdx = static_cast<int32_t>(profiles.size() - 1);
}

void BindDeleteProfile() {
    if (MacroBusy()) return;
    std::string settings;
    {
        std::unique_lock<std::mutex> lock(profileMutex);
        if (!ActiveIndexValidLocked()) return;
        if (ActiveProfileLocked().name == kDefaultProfileName) {
            ResetSpammerKeySpamDefaults();
            ActiveProfileLocked().events.clear();
            ActiveProfileLocked().settings = SerializeProfileSettings();
            return;
        }
        if (profiles.size() < 2) return;
        profiles.erase(profiles.begin() + currentProfileIdx);
        if (static_cast<size_t>(currentProfileIdx) >= profiles.size()) {
            currentProfileIdx = static_cast<int32_t>(profiles.size() - 1);
        }
        settings = ActiveProfileLocked().settings;
    }
    ApplyProfileSettings(settings);
}

void BindSwitchProfile(const std::string& request) {
    if (MacroBusy()) return;
    int32_t index = 0;
    if (!ParseInt32(ParseJSString(request), index)) return;
    std::string settings;
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        if (index < 0 || static_cast<size_t>(index) >= profiles.size()) return;
        currentProfileIdx = index;
        settings = profiles[static_cast<size_t>(index)].settings;
    }
    ApplyProfileSettings(settings);
}

std::string BindGetProfiles() {
    std::lock_guard<std::mutex> lock(profileMutex);
    std::string out = "{\"current\":" + std::to_string(currentProfileIdx) + ",\"names\":[";
    for (size_t i = 0; i < profiles.size(); ++i) {
        if (i > 0) out.push_back(',');
        out += JsonEscapeForBind(profiles[i].name);
    }
    out += "],\"cap\":" + std::to_string(kProfileCap) + ",\"defaultName\":\"" +
           kDefaultProfileName + "\"}";
    return out;
}
