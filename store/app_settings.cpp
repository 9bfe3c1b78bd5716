#include "store/app_settings.h"

#include "platform/files.h"
#include "platform/shell.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "store/codecs.h"
#include "store/humanize_settings.h"
#include "store/line_reader.h"
#include "store/numbers.h"

#include <mutex>
#include <string_view>
#include <utility>

std::atomic<bool> g_AlwaysOnTop{false};
std::atomic<bool> g_LaunchOnStartup{false};
std::atomic<bool> g_StartMinimized{false};
std::atomic<bool> g_DisableAnimations{false};
std::atomic<bool> g_ShowWarnings{true};
std::set<std::string> g_SeenWarningIds;
std::set<std::string> g_MinimizedPanels;
std::vector<std::string> g_PanelOrder;
std::atomic<int32_t> g_SavedWindowX{0};
std::atomic<int32_t> g_SavedWindowY{0};
std::atomic<int32_t> g_SavedWindowWidth{420};
std::atomic<int32_t> g_SavedWindowHeight{560};
std::atomic<bool> g_SavedMaximized{false};
std::atomic<bool> g_HasSavedWindowPos{false};

namespace {

const char* const kPanelIds[] = {"panel-ui", "panel-profile", "panel-spammer", "panel-keyspam",
                                 "panel-tracker"};

struct FlagKey {
    const char* key;
    std::atomic<bool>* flag;
};

// Boolean lines of the file, in file order.
const FlagKey kFileFlags[] = {
    {"alwaysOnTop", &g_AlwaysOnTop},
    {"launchOnStartup", &g_LaunchOnStartup},
    {"startMinimized", &g_StartMinimized},
    {"hotkeysEnabled", &g_HotkeysEnabled},
    {"hotkeyLockOn", &g_HotkeyLockEnabled},
    {"stopToolsWithMacro", &g_StopToolsWithMacro},
    {"disableAnimations", &g_DisableAnimations},
    {"showWarnings", &g_ShowWarnings},
};

struct IntKey {
    const char* key;
    std::atomic<int32_t>* value;
};

const IntKey kWindowInts[] = {
    {"windowX", &g_SavedWindowX},
    {"windowY", &g_SavedWindowY},
    {"windowWidth", &g_SavedWindowWidth},
    {"windowHeight", &g_SavedWindowHeight},
};

// Appends the items joined by ",", each between the quotes given, without temporaries: the
// settings text and object are built after every binding call.
template <typename Container>
void AppendJoined(std::string& out, const Container& items, const char* quote) {
    bool first = true;
    for (const std::string& item : items) {
        if (!first) out.push_back(',');
        first = false;
        out += quote;
        out += item;
        out += quote;
    }
}

bool ApplyFlagLine(std::string_view key, std::string_view value) {
    for (const FlagKey& entry : kFileFlags) {
        if (key == entry.key) {
            entry.flag->store(value == "1");
            return true;
        }
    }
    if (key == "windowMaximized") {
        g_SavedMaximized.store(value == "1");
        return true;
    }
    return false;
}

bool ApplyWindowLine(std::string_view key, std::string_view value) {
    for (const IntKey& entry : kWindowInts) {
        if (key != entry.key) continue;
        int32_t number = 0;
        if (ParseInt32(value, number)) {
            entry.value->store(number);
            if (entry.value == &g_SavedWindowX) g_HasSavedWindowPos.store(true);
        }
        return true;
    }
    return false;
}

void ApplyListLine(std::string_view key, const std::string& value) {
    if (key == "seenWarnings") {
        g_SeenWarningIds.clear();
        for (const std::string& id : SplitString(value, ',')) {
            if (IsStorableWarningId(id)) g_SeenWarningIds.insert(id);
        }
    } else if (key == "minimizedPanels") {
        g_MinimizedPanels.clear();
        for (const std::string& id : SplitString(value, ',')) {
            if (IsKnownPanelId(id)) g_MinimizedPanels.insert(id);
        }
    } else if (key == "panelOrder") {
        ParsePanelOrder(value, g_PanelOrder);
    }
}

void ApplySettingsLine(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (ApplyFlagLine(key, value) || ApplyWindowLine(key, value) || ApplyHumanizeLine(key, value)) {
        return;
    }
    ApplyListLine(key, std::string(value));
}

bool ApplyNamedSetting(const std::string& key, bool on) {
    if (key == "alwaysOnTop") {
        g_AlwaysOnTop.store(on);
        PlatformApplyAlwaysOnTop(on);
    } else if (key == "launchOnStartup") {
        g_LaunchOnStartup.store(on);
        PlatformApplyLaunchOnStartup(on);
    } else if (key == "startMinimized") {
        g_StartMinimized.store(on);
    } else if (key == "hotkeysEnabled") {
        g_HotkeysEnabled.store(on);
    } else if (key == "hotkeyLock") {
        g_HotkeyLockEnabled.store(on);
        g_HotkeysUnlocked.store(true);
    } else if (key == "stopToolsWithMacro") {
        g_StopToolsWithMacro.store(on);
    } else if (key == "disableAnimations") {
        g_DisableAnimations.store(on);
    } else if (key == "showWarnings") {
        g_ShowWarnings.store(on);
    } else {
        return false;
    }
    return true;
}

void ApplyPanelMinimized(const std::string& key, bool on) {
    if (key.rfind("min:", 0) != 0) return;
    const std::string id = key.substr(4);
    if (!IsKnownPanelId(id)) return;
    if (on) {
        g_MinimizedPanels.insert(id);
    } else {
        g_MinimizedPanels.erase(id);
    }
}

}  // namespace

std::string AppSettingsText() {
    std::string out;
    out.reserve(512);
    for (const FlagKey& entry : kFileFlags) {
        out += entry.key;
        out += entry.flag->load() ? "=1\n" : "=0\n";
    }
    const std::pair<const char*, const std::set<std::string>*> sets[] = {
        {"seenWarnings=", &g_SeenWarningIds}, {"minimizedPanels=", &g_MinimizedPanels}};
    for (const auto& [key, items] : sets) {
        out += key;
        AppendJoined(out, *items, "");
        out.push_back('\n');
    }
    out += "panelOrder=";
    AppendJoined(out, g_PanelOrder, "");
    out.push_back('\n');
    for (const IntKey& entry : kWindowInts) {
        out += entry.key;
        out.push_back('=');
        out += std::to_string(entry.value->load());
        out.push_back('\n');
    }
    out += g_SavedMaximized.load() ? "windowMaximized=1\n" : "windowMaximized=0\n";
    // Readers of the sixteen lines above skip keys they do not know.
    AppendHumanizeLines(out);
    return out;
}

std::string GetAppSettingsFilePath() { return OsDataDir() + "/appsettings.txt"; }

bool IsKnownPanelId(const std::string& id) {
    for (const char* known : kPanelIds) {
        if (id == known) return true;
    }
    return false;
}

bool ParsePanelOrder(const std::string& text, std::vector<std::string>& out) {
    std::vector<std::string> order;
    for (const std::string& piece : SplitString(text, ',')) {
        if (piece.empty()) continue;
        if (!IsKnownPanelId(piece)) return false;
        for (const std::string& seen : order) {
            if (seen == piece) return false;
        }
        order.push_back(piece);
    }
    out = std::move(order);
    return true;
}

bool IsStorableWarningId(const std::string& id) {
    if (id.empty()) return false;
    for (unsigned char c : id) {
        // A comma would split it in the file; a quote, a backslash or a control byte would break
        // the JSON of getAppSettings, which carries ids verbatim.
        if (c == ',' || c == '"' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool LoadAppSettings() {
    return ForEachLineOfFile(GetAppSettingsFilePath(), [](std::string_view line) {
        ApplySettingsLine(line);
        return true;
    });
}

void LoadAppSettingsFromText(std::string_view text) {
    ForEachLineOfText(text, [](std::string_view line) {
        ApplySettingsLine(line);
        return true;
    });
}

bool SaveAppSettings() {
    static std::mutex writeMutex;
    std::lock_guard<std::mutex> guard(writeMutex);
    return OsWriteFileAtomic(GetAppSettingsFilePath(), AppSettingsText());
}

void ResetAppSettingsForTest() {
    g_AlwaysOnTop = false;
    g_LaunchOnStartup = false;
    g_StartMinimized = false;
    g_DisableAnimations = false;
    g_ShowWarnings = true;
    g_SeenWarningIds.clear();
    g_MinimizedPanels.clear();
    g_PanelOrder.clear();
    g_SavedWindowX = 0;
    g_SavedWindowY = 0;
    g_SavedWindowWidth = 420;
    g_SavedWindowHeight = 560;
    g_SavedMaximized = false;
    g_HasSavedWindowPos = false;
}

std::string BindGetAppSettings() {
    const std::pair<const char*, const std::atomic<bool>*> flags[] = {
        {"{\"alwaysOnTop\":", &g_AlwaysOnTop},
        {",\"launchOnStartup\":", &g_LaunchOnStartup},
        {",\"startMinimized\":", &g_StartMinimized},
        {",\"hotkeysEnabled\":", &g_HotkeysEnabled},
        {",\"hotkeyLock\":", &g_HotkeyLockEnabled},
        {",\"disableAnimations\":", &g_DisableAnimations},
        {",\"showWarnings\":", &g_ShowWarnings}};
    std::string out;
    out.reserve(512);
    for (const auto& [member, flag] : flags) {
        out += member;
        out += flag->load() ? "true" : "false";
    }
    out += ",\"seenWarnings\":[";
    AppendJoined(out, g_SeenWarningIds, "\"");
    out += "],\"minimizedPanels\":[";
    AppendJoined(out, g_MinimizedPanels, "\"");
    out += "],\"panelOrder\":[";
    AppendJoined(out, g_PanelOrder, "\"");
    out += "]}";
    return out;
}

bool ApplySetAppSetting(const std::string& request) {
    const std::vector<std::string> pieces = SplitString(ParseJSString(request), ',');
    if (pieces.size() != 2) return false;
    const bool on = pieces[1] == "1";
    if (!ApplyNamedSetting(pieces[0], on)) ApplyPanelMinimized(pieces[0], on);
    return true;
}

bool ApplyMarkWarningSeen(const std::string& request) {
    const std::string id = ParseJSString(request);
    if (!IsStorableWarningId(id) || g_SeenWarningIds.count(id) != 0) return false;
    g_SeenWarningIds.insert(id);
    return true;
}

bool ApplySetPanelOrder(const std::string& request) {
    return ParsePanelOrder(ParseJSString(request), g_PanelOrder);
}

void BindSetAppSetting(const std::string& request) {
    if (ApplySetAppSetting(request)) SaveAppSettings();
}

void BindMarkWarningSeen(const std::string& request) {
    if (ApplyMarkWarningSeen(request)) SaveAppSettings();
}

void BindSetPanelOrder(const std::string& request) {
    if (ApplySetPanelOrder(request)) SaveAppSettings();
}

void BindResetHotkeys() {
    vkRecord.exchange(119);
    vkPlay.exchange(118);
    vkAutoClicker.exchange(117);
    vkKeySpamHotkey.exchange(120);
    vkUnlock.exchange(121);
}

void BindReassignKey(const std::string& request) {
    static const struct {
        const char* name;
        ReassignCode code;
    } kRoles[] = {
        {"rec", kReassignRecord},
        {"play", kReassignPlay},
        {"auto", kReassignAutoClicker},
        {"keyspamhotkey", kReassignKeySpamHotkey},
        {"keyspamtarget", kReassignKeySpamTarget},
        {"unlock", kReassignUnlock},
    };
    const std::string role = ParseJSString(request);
    for (const auto& entry : kRoles) {
        if (role == entry.name) {
            currentReassign.exchange(entry.code);
            return;
        }
    }
}
