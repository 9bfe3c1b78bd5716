#include "store/session_file.h"

#include "platform/files.h"
#include "state/tool_state.h"
#include "store/event_lines.h"
#include "store/event_pack.h"
#include "store/line_reader.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/settings_lines.h"

#include <chrono>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

std::string g_SessionStateFilePath;

namespace {

// Formatted text is handed to the file in pieces of about this size.
constexpr size_t kWriteChunk = 1 << 20;

struct ProfileCopy {
    std::string name;
    std::string settings;
    PackedEvents events;
};

struct SessionCopy {
    int32_t current = 0;
    std::vector<ProfileCopy> profiles;
};

// Whole saves never overlap: the temporary file has one name, and the last snapshot taken is
// the last one written.
std::mutex g_SessionSaveMutex;

bool LockProfiles(std::unique_lock<std::mutex>& lock, bool waitForLock) {
    if (!waitForLock) return lock.try_lock();
    lock.lock();
    return true;
}

// The lock is held twice, briefly: once to learn how many events to make room for, and once to
// copy them into buffers prepared in between. The recorder appends under the same lock, so a
// save must never hold it for long.
bool TakeSnapshot(bool waitForLock, SessionCopy& copy) {
    std::vector<size_t> counts;
    size_t active = 0;
    {
        std::unique_lock<std::mutex> lock(profileMutex, std::defer_lock);
        if (!LockProfiles(lock, waitForLock)) return false;
        for (const MacroProfile& profile : profiles) counts.push_back(profile.events.size());
        active = static_cast<size_t>(currentProfileIdx);
    }
    std::vector<PackedEvents> buffers;
    // Room for what a recording may add meanwhile, which goes to the active profile only; a
    // buffer that is still too small is replaced under the lock.
    for (size_t i = 0; i < counts.size(); ++i) {
        const size_t room = i == active ? counts[i] / 64 + 256 : 0;
        buffers.push_back(ReservePackedEvents(counts[i] + room));
    }
    std::unique_lock<std::mutex> lock(profileMutex, std::defer_lock);
    if (!LockProfiles(lock, waitForLock)) return false;
    copy.current = currentProfileIdx;
    copy.profiles.resize(profiles.size());
    for (size_t i = 0; i < profiles.size(); ++i) {
        ProfileCopy& target = copy.profiles[i];
        target.name = profiles[i].name;
        target.settings = profiles[i].settings;
        if (i < buffers.size()) target.events = std::move(buffers[i]);
        PackEventsInto(profiles[i].events, target.events);
    }
    return true;
}

bool FlushIfFull(OsAtomicFile& file, std::string& buffer) {
    if (buffer.size() < kWriteChunk) return true;
    const bool ok = OsAtomicFileWrite(file, buffer);
    buffer.clear();
    return ok;
}

// Appends the session text to out. spill is offered out after every event line and may take
// what it holds away; false from it stops the text there.
template <typename Spill>
bool AppendSessionText(std::string& out, const std::string& settingsLine, const SessionCopy& copy,
                       Spill spill) {
    out += "SETTINGS:" + settingsLine + "\nCURRENT:" + std::to_string(copy.current) + "\n";
    for (const ProfileCopy& profile : copy.profiles) {
        out += "PROFILE:" + profile.name + "\n";
        if (!profile.settings.empty()) out += "PROFILESETTINGS:" + profile.settings + "\n";
        PackedEventReader reader = ReadPackedEvents(profile.events);
        UnifiedEvent event;
        while (NextPackedEvent(reader, event)) {
            AppendEventLine(out, event);
            out.push_back('\n');
            if (!spill(out)) return false;
        }
    }
    return true;
}

bool WriteSession(const std::string& path, const std::string& settingsLine,
                  const SessionCopy& copy) {
    OsAtomicFile file;
    if (!OsAtomicFileBegin(file, path, 0600)) return false;
    std::string buffer;
    buffer.reserve(kWriteChunk + 4096);
    // A failed write is remembered by the file and makes the commit fail.
    AppendSessionText(buffer, settingsLine, copy,
                      [&file](std::string& text) { return FlushIfFull(file, text); });
    OsAtomicFileWrite(file, buffer);
    return OsAtomicFileCommit(file);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Reading state of the loader, one line at a time.
struct SessionReader {
    int lineNumber = 0;
    bool settingsSeen = false;
    int32_t wantedIndex = 0;
    std::vector<MacroProfile> profiles;
};

void ReadProfileLine(SessionReader& reader, std::string_view line) {
    if (line.empty()) return;
    if (StartsWith(line, "PROFILE:")) {
        reader.profiles.push_back(MacroProfile{std::string(line.substr(8)), "", {}});
        return;
    }
    if (reader.profiles.empty()) return;
    if (StartsWith(line, "PROFILESETTINGS:")) {
        reader.profiles.back().settings = std::string(line.substr(16));
        return;
    }
    UnifiedEvent event;
    if (ParseEventLine(line, event)) reader.profiles.back().events.push_back(event);
}

// False stops the reading.
bool ReadSessionLine(SessionReader& reader, std::string_view line) {
    ++reader.lineNumber;
    if (reader.lineNumber == 1) {
        if (!StartsWith(line, "SETTINGS:")) return false;
        reader.settingsSeen = true;
        DeserializeSettings(std::string(line.substr(9)));
        return true;
    }
    if (reader.lineNumber == 2) {
        if (StartsWith(line, "CURRENT:") && !ParseInt32(line.substr(8), reader.wantedIndex)) {
            reader.wantedIndex = 0;
        }
        return true;
    }
    ReadProfileLine(reader, line);
    return true;
}

// True when any profile was read; only then does the loaded list replace the live one.
bool InstallProfiles(SessionReader& reader) {
    if (!reader.settingsSeen || reader.profiles.empty()) return false;
    const std::string liveLine = SerializeProfileSettings();
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles.swap(reader.profiles);
    const bool valid =
        reader.wantedIndex >= 0 && static_cast<size_t>(reader.wantedIndex) < profiles.size();
    currentProfileIdx = valid ? reader.wantedIndex : 0;
    MacroProfile& active = profiles[static_cast<size_t>(currentProfileIdx)];
    if (active.settings.empty()) active.settings = liveLine;
    return true;
}

}  // namespace

std::string GetSessionStateFilePath() { return g_SessionStateFilePath; }

bool SaveSessionStateTo(const std::string& path, bool waitForLock) {
    if (path.empty()) return false;
    // The periodic save waits for nothing: another save running is as good as a lock held.
    std::unique_lock<std::mutex> saving(g_SessionSaveMutex, std::defer_lock);
    if (waitForLock) {
        saving.lock();
    } else if (!saving.try_lock()) {
        return false;
    }
    const std::string settingsLine = SerializeSettings();
    SessionCopy copy;
    if (!TakeSnapshot(waitForLock, copy)) return false;
    return WriteSession(path, settingsLine, copy);
}

bool SessionStateToText(std::string& text, bool waitForLock) {
    const std::string settingsLine = SerializeSettings();
    SessionCopy copy;
    if (!TakeSnapshot(waitForLock, copy)) return false;
    text.clear();
    return AppendSessionText(text, settingsLine, copy, [](std::string&) { return true; });
}

bool LoadSessionStateFrom(const std::string& path) {
    SessionReader reader;
    const bool read = ForEachLineOfFile(
        path, [&reader](std::string_view line) { return ReadSessionLine(reader, line); });
    return read && InstallProfiles(reader);
}

bool LoadSessionStateFromText(std::string_view text) {
    SessionReader reader;
    ForEachLineOfText(text,
                      [&reader](std::string_view line) { return ReadSessionLine(reader, line); });
    return InstallProfiles(reader);
}

bool SaveSessionState() { return SaveSessionStateTo(g_SessionStateFilePath, false); }
bool SaveSessionStateAtExit() { return SaveSessionStateTo(g_SessionStateFilePath, true); }
bool LoadSessionState() { return LoadSessionStateFrom(g_SessionStateFilePath); }

void SessionAutosaveThread() {
    int sleeps = 0;
    while (g_AppRunning.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!g_AppRunning.load()) break;
        if (++sleeps >= 50) {
            SaveSessionState();
            sleeps = 0;
        }
    }
}
