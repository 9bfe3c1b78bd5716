#include "store/status.h"

#include "engine/signals.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "state/tool_state.h"
#include "store/codecs.h"

#include <algorithm>
#include <mutex>

namespace {

const char* StateWord() {
    if (isRecording.load()) return "Recording";
    if (isPlaying.load()) return "Playing";
    return "Idle";
}

const char* ReassignWord(int32_t code) {
    switch (code) {
        case kReassignRecord:
            return "rec";
        case kReassignPlay:
            return "play";
        case kReassignAutoClicker:
            return "auto";
        case kReassignKeySpamHotkey:
            return "keyspamhotkey";
        case kReassignKeySpamTarget:
            return "keyspamtarget";
        case kReassignUnlock:
            return "unlock";
        default:
            return "";
    }
}

std::string KeySpamTargetNames() {
    const int32_t count = std::clamp(keySpamTargetCount.load(), 0, kKeySpamSlots);
    std::string out = "[";
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) out.push_back(',');
        out += JsonEscapeForBind(GetKeyName(keySpamTargets[i].load()));
    }
    out.push_back(']');
    return out;
}

std::string Bool(bool value) { return value ? "true" : "false"; }
std::string Quoted(const char* word) { return std::string("\"") + word + "\""; }
std::string KeyName(const std::atomic<int32_t>& vk) {
    return JsonEscapeForBind(GetKeyName(vk.load()));
}

}  // namespace

std::string BuildTrackerStatusJson(const std::string& restore) {
    size_t count = 0;
    if (currentProfileIdx >= 0 && static_cast<size_t>(currentProfileIdx) < profiles.size()) {
        count = profiles[static_cast<size_t>(currentProfileIdx)].events.size();
    }
    std::string out = "{";
    AppendJsonMember(out, "state", Quoted(StateWord()));
    AppendJsonMember(out, "count", std::to_string(count));
    AppendJsonMember(out, "restore", restore);
    AppendJsonMember(out, "hkRec", KeyName(vkRecord));
    AppendJsonMember(out, "hkPlay", KeyName(vkPlay));
    AppendJsonMember(out, "hkAuto", KeyName(vkAutoClicker));
    AppendJsonMember(out, "hkKeySpam", KeyName(vkKeySpamHotkey));
    AppendJsonMember(out, "hkUnlock", KeyName(vkUnlock));
    AppendJsonMember(out, "lockOn", Bool(g_HotkeyLockEnabled.load()));
    AppendJsonMember(out, "unlocked", Bool(g_HotkeysUnlocked.load()));
    AppendJsonMember(out, "keySpamTargets", KeySpamTargetNames());
    AppendJsonMember(out, "keySpamChord", Bool(keySpamChordMode.load()));
    AppendJsonMember(out, "ksCap", std::to_string(kKeySpamCap));
    AppendJsonMember(out, "reassigning", Quoted(ReassignWord(currentReassign.load())));
    AppendJsonMember(out, "panelHover", Bool(g_PanelHoverActive.load()));
    AppendJsonMember(out, "autoClicking", Bool(isAutoClicking.load()));
    AppendJsonMember(out, "keySpamming", Bool(isKeySpamming.load()));
    AppendJsonMember(out, "canUndoContinue", Bool(CanUndoContinueLocked()));
    out.push_back('}');
    return out;
}

std::string GetTrackerStatusFilePath() { return OsDataDir() + "/status.txt"; }

bool SaveTrackerStatusToFile(const std::string& text) {
    static std::mutex writeMutex;
    std::lock_guard<std::mutex> guard(writeMutex);
    // Rewritten on every poll of the page: a crash may only leave the previous status.
    return OsWriteFileAtomicQuick(GetTrackerStatusFilePath(), text);
}
