// The store's readers on any input: never crash, nothing lost, and what was read is written
// back in a form that reads back to the same text. Each check reads the input its own way, so
// one corpus serves them all.

#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "store/settings_json.h"
#include "store/settings_lines.h"
#include "tests/fuzz/fuzz_checks.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

// The page's literal holds no raw control byte or quote and decodes back to the text.
void CheckEscape(const std::string& text) {
    const std::string literal = JsonEscapeForBind(text);
    Require(literal.size() >= 2 && literal.front() == '"' && literal.back() == '"');
    const std::string_view letters = "\"\\btnfr", bytes = "\"\\\b\t\n\f\r";
    std::string decoded;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        Require(static_cast<unsigned char>(literal[i]) >= 0x20 && literal[i] != '"');
        if (literal[i] != '\\') {
            decoded.push_back(literal[i]);
        } else if (literal[++i] == 'u') {
            decoded.push_back(static_cast<char>(std::stoi(literal.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            Require(letters.find(literal[i]) != std::string_view::npos);
            decoded.push_back(bytes[letters.find(literal[i])]);
        }
    }
    Require(decoded == text);
}

// The C library is the reference: the same acceptance and value, the target untouched on a
// failure, out of range and underflow included.
template <typename Number, typename Reference>
void CheckAgainstLibc(const std::string& text, bool (*parse)(std::string_view, Number&),
                      Reference reference) {
    char* end = nullptr;
    errno = 0;
    const auto expected = reference(text.c_str(), &end);
    const bool ok = end != text.c_str() && errno == 0;
    Number value = 7;
    Require(parse(text, value) == ok);
    Require(ok ? value == static_cast<Number>(expected) ||
                     (std::isnan(value) && std::isnan(expected))
               : value == 7);
}

// Numbers read like the C conversions and are written in the default stream form, which reads
// back to itself; only a value six digits put below the smallest normal one is refused, as an
// underflow, as the C library refuses it.
void CheckNumber(const std::string& text) {
    CheckAgainstLibc<int64_t>(text, ParseInt64,
                              [](const char* s, char** e) { return std::strtoll(s, e, 10); });
    CheckAgainstLibc<int32_t>(text, ParseInt32, [](const char* s, char** e) {
        const long long wide = std::strtoll(s, e, 10);
        if (wide < INT32_MIN || wide > INT32_MAX) errno = ERANGE;
        return wide;
    });
    CheckAgainstLibc<uint64_t>(text, ParseUInt64,
                               [](const char* s, char** e) { return std::strtoull(s, e, 10); });
    CheckAgainstLibc<double>(text, ParseDouble, std::strtod);
    CheckAgainstLibc<float>(text, ParseFloat, std::strtof);
    double value = 0, back = 0;
    if (!ParseDouble(text, value) || !std::isfinite(value)) return;
    std::ostringstream stream;
    stream << value;
    const std::string once = FormatStreamDouble(value);
    Require(once == stream.str());
    if (ParseDouble(once, back)) return Require(FormatStreamDouble(back) == once);
    errno = 0;
    const double reread = std::strtod(once.c_str(), nullptr);
    Require(errno == ERANGE && std::fabs(reread) < DBL_MIN);
}

void CheckCodecs(const std::string& text) {
    CheckEscape(text);
    // Flattening deletes every bracket and quote, and nothing else.
    std::string kept = text;
    std::erase_if(kept, [](char c) { return c == '[' || c == ']' || c == '"'; });
    Require(ParseJSString(text) == kept);
    // The C conversions stop at a NUL; ours see the whole view, so compare without them.
    if (text.find('\0') != std::string::npos) return;
    CheckNumber(text);
    for (const std::string& line : SplitString(text, '\n')) CheckNumber(line);
}

// The first byte picks the reader; the tool settings stay in range and write back the same.
void CheckSettingsLines(const std::string& input) {
    if (input.empty()) return;
    void (*const readers[])(const std::string&) = {DeserializeSettings, DeserializeProfileSettings,
                                                   DeserializeKeySpamTargetList, ApplySpammerUpdate,
                                                   ApplyKeySpamUpdate};
    ResetToolStateForTest();
    readers[static_cast<unsigned char>(input[0]) % 5](input.substr(1));
    Require(keySpamTargetCount.load() >= 0 && keySpamTargetCount.load() <= kKeySpamCap);
    const std::string full = SerializeSettings(), profile = SerializeProfileSettings();
    const std::string json = BuildSettingsJson();
    Require(json.front() == '{' && json.back() == '}');
    DeserializeSettings(full);
    Require(SerializeSettings() == full);
    DeserializeProfileSettings(profile);
    Require(SerializeProfileSettings() == profile);
}

// A state whose numbers six digits cannot carry back (see CheckNumber) cannot come back whole.
bool EveryNumberReadsBack() {
    float speed = 0;
    double time = 0;
    if (!ParseFloat(FormatStreamFloat(fPlaybackSpeed.load()), speed)) return false;
    std::lock_guard<std::mutex> lock(profileMutex);
    for (const MacroProfile& profile : profiles) {
        for (const UnifiedEvent& event : profile.events) {
            if (!ParseDouble(FormatStreamDouble(event.time), time)) return false;
        }
    }
    return true;
}

void CheckSession(const std::string& input) {
    ResetToolStateForTest();
    std::string first, second;
    if (LoadSessionStateFromText(input) && EveryNumberReadsBack()) {
        Require(SessionStateToText(first, true));
        ResetToolStateForTest();
        Require(LoadSessionStateFromText(first) && SessionStateToText(second, true) &&
                first == second);
    }
    std::lock_guard<std::mutex> lock(profileMutex);
    std::vector<MacroProfile>().swap(profiles);  // nothing left for the leak check to chase
}

// Strings in the page's settings object are emitted verbatim: no quote, backslash or control byte.
void CheckJsonStrings(const std::string& json) {
    bool inString = false;
    for (unsigned char c : json) {
        if (c == '"') inString = !inString;
        Require(!inString || (c != '\\' && c >= 0x20));
    }
    Require(!inString);
}

// A file's text, then optionally a NUL and binding calls, one a line, the first byte picking
// the binding. They run without their saves; the text is checked in memory.
void CheckAppSettings(const std::string& input) {
    const size_t fileSize = std::min(input.find('\0'), input.size());
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(std::string_view(input).substr(0, fileSize));
    CheckJsonStrings(BindGetAppSettings());
    if (fileSize < input.size()) {
        for (const std::string& call : SplitString(input.substr(fileSize + 1), '\n')) {
            if (call.empty()) continue;
            void (*const apply[])(const std::string&) = {
                [](const std::string& a) { ApplySetAppSetting(a); },
                [](const std::string& a) { ApplyMarkWarningSeen(a); },
                [](const std::string& a) { ApplySetPanelOrder(a); }, BindReassignKey};
            apply[static_cast<unsigned char>(call[0]) % 4](call.substr(1));
        }
        CheckJsonStrings(BindGetAppSettings());
    }
    const std::string first = AppSettingsText();
    ResetToolStateForTest();
    ResetAppSettingsForTest();
    LoadAppSettingsFromText(first);
    Require(AppSettingsText() == first);
    ResetAppSettingsForTest();
    std::vector<std::string>().swap(g_PanelOrder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The plain corpus replayer has no initialisation hook: the real data folder must never be
    // touched, so the home lies below a device file, where nothing can be made.
    [[maybe_unused]] static const bool home = setenv("XDG_DATA_HOME", "/dev/null/qln", 1) == 0 &&
                                              setenv("XDG_CONFIG_HOME", "/dev/null/qln", 1) == 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckCodecs(input);
    CheckSettingsLines(input);
    CheckSession(input);
    CheckAppSettings(input);
    return 0;
}
