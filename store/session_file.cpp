#include "store/session_file.h"

#include "platform/files.h"
#include "state/tool_state.h"
#include "store/event_lines.h"
#include "store/event_pack.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/settings_lines.h"

#include <chrono>
#include <exception>
#include <fstream>
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
    {
        std::unique_lock<std::mutex> lock(profileMutex, std::defer_lock);
        if (!LockProfiles(lock, waitForLock)) return false;
        for (const MacroProfile& profile : profiles) counts.push_back(profile.events.size());
    }
    std::vector<PackedEvents> buffers;
    // Room for what a recording may add meanwhile.
    for (size_t count : counts) buffers.push_back(ReservePackedEvents(count + count / 64 + 256));
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

bool WriteSession(const std::string& path, const std::string& settingsLine,
                  const SessionCopy& copy) {
    OsAtomicFile file;
    if (!OsAtomicFileBegin(file, path, 0600)) return false;
    std::string buffer;
    buffer.reserve(kWriteChunk + 4096);
    buffer += "SETTINGS:" + settingsLine + "\nCURRENT:" + std::to_string(copy.current) + "\n";
    for (const ProfileCopy& profile : copy.profiles) {
        buffer += "PROFILE:" + profile.name + "\n";
        if (!profile.settings.empty()) buffer += "PROFILESETTINGS:" + profile.settings + "\n";
        PackedEventReader reader = ReadPackedEvents(profile.events);
        UnifiedEvent event;
        while (NextPackedEvent(reader, event)) {
            AppendEventLine(buffer, event);
            buffer.push_back('\n');
            if (!FlushIfFull(file, buffer)) break;
        }
    }
    OsAtomicFileWrite(file, buffer);
    return OsAtomicFileCommit(file);
}

template <typename OnLine>
bool ForEachLineOrThrow(const std::string& path, OnLine& onLine) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> chunk(kWriteChunk);
    std::string carry;
    for (;;) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        std::string_view data(chunk.data(), got);
        while (!data.empty()) {
            const size_t end = data.find('\n');
            if (end == std::string_view::npos) {
                carry.append(data);
                break;
            }
            if (carry.empty()) {
                if (!onLine(data.substr(0, end))) return true;
            } else {
                carry.append(data.substr(0, end));
                if (!onLine(std::string_view(carry))) return true;
                carry.clear();
            }
            data.remove_prefix(end + 1);
        }
    }
    if (in.bad()) return false;
    if (!carry.empty()) onLine(std::string_view(carry));
    return true;
}

// Hands the file to the callback line by line, without its line feeds, the way a line reader
// does: a last line without a line feed still counts. False when the file cannot be opened or
// read (a folder, a failing disk).
template <typename OnLine>
bool ForEachLine(const std::string& path, OnLine onLine) {
    try {
        return ForEachLineOrThrow(path, onLine);
    } catch (const std::exception&) {
        return false;
    }
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

void InstallProfiles(SessionReader& reader) {
    const std::string liveLine = SerializeProfileSettings();
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles.swap(reader.profiles);
    const bool valid =
        reader.wantedIndex >= 0 && static_cast<size_t>(reader.wantedIndex) < profiles.size();
    currentProfileIdx = valid ? reader.wantedIndex : 0;
    MacroProfile& active = profiles[static_cast<size_t>(currentProfileIdx)];
    if (active.settings.empty()) active.settings = liveLine;
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

bool LoadSessionStateFrom(const std::string& path) {
    SessionReader reader;
    const bool opened = ForEachLine(
        path, [&reader](std::string_view line) { return ReadSessionLine(reader, line); });
    if (!opened || !reader.settingsSeen || reader.profiles.empty()) return false;
    InstallProfiles(reader);
    return true;
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
