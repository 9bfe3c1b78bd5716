#pragma once

// What the engine's trace runners share: the globals a trace sets and checks, named as in the
// code, the recorded events written the short way, checks of the form NAME=VALUE, NAME!=VALUE,
// NAME>=VALUE or NAME<=VALUE (VALUE may name a value too), and the replay of the files.
#include "engine/humanize.h"
#include "engine/keyspammer.h"
#include "engine/playback.h"
#include "engine/recorder.h"
#include "platform/input.h"
#include "state/humanize.h"
#include "state/tool_state.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>

namespace trace {

namespace fs = std::filesystem;

struct Var {
    template <typename T>
    Var(std::atomic<T>& v)
        : get([&v] { return double(v.load()); }), set([&v](double x) { v = T(x); }) {
        if constexpr (std::is_same_v<T, bool>) flag = &v;
    }
    std::function<double()> get;
    std::function<void(double)> set;
    std::atomic<bool>* flag = nullptr;  // a bool's, for the trigger flags
};
template <typename... Named>
std::map<std::string, Var> Vars(Named... named) {
    return {named...};
}
#define VAR(name) std::make_pair(std::string(#name), Var(name))
inline const std::map<std::string, Var> kVars = Vars(
    VAR(vkAutoClicker), VAR(vkKeySpamHotkey), VAR(vkRecord), VAR(vkPlay), VAR(vkUnlock),
    VAR(currentReassign), VAR(capturedReassignKey), VAR(autoClickFixedX), VAR(autoClickFixedY),
    VAR(autoClickLocationMode), VAR(keySpamTargetCount), VAR(vkKeySpamTarget),
    VAR(g_HotkeysEnabled), VAR(g_HotkeyLockEnabled), VAR(g_HotkeysUnlocked),
    VAR(g_StopToolsWithMacro), VAR(isPickingLocation), VAR(isRecording), VAR(isPlaying),
    VAR(isAutoClicking), VAR(isKeySpamming), VAR(bRecordMouseMovement), VAR(bRecordMouseClicks),
    VAR(bRecordMouseScroll), VAR(bRecordKeyboard), VAR(bUseRelativeMouse), VAR(triggerAutoClicker),
    VAR(triggerAutoClickStart), VAR(triggerAutoClickStop), VAR(triggerKeySpam),
    VAR(triggerKeySpamStart), VAR(triggerKeySpamStop), VAR(triggerRecord), VAR(triggerRecordStart),
    VAR(triggerRecordStop), VAR(triggerRecordContinue), VAR(triggerUndoContinue), VAR(triggerPlay),
    VAR(triggerPlayStart), VAR(triggerPlayStop), VAR(keySpamTargets[3]), VAR(g_SignalWake.flag),
    VAR(g_AutoClickWake.flag), VAR(g_KeySpamWake.flag), VAR(humanizeAreaPick),
    VAR(humanizeAreaMode), VAR(humanizeAreaX), VAR(humanizeAreaY), VAR(humanizeAreaWidth),
    VAR(humanizeAreaHeight), VAR(humanizeClicker), VAR(g_HoldModeAuto), VAR(g_HoldModeKeySpam),
    VAR(autoClickIntervalHours), VAR(autoClickIntervalMs), VAR(autoClickerButtonIdx),
    VAR(autoClickClickType), VAR(autoClickRepeatMode), VAR(autoClickRepeatTimes),
    VAR(currentClickCount), VAR(keySpamIntervalMs), VAR(keySpamRepeatMode), VAR(keySpamRepeatTimes),
    VAR(keySpamChordMode), VAR(currentKeySpamCount), VAR(fPlaybackSpeed), VAR(iLoopIntervalMs),
    VAR(bLoopSequence), VAR(g_HeldButtons));

inline std::vector<UnifiedEvent>& Events() { return profiles[currentProfileIdx].events; }

// key65+ key65- btn2@10,20 move@5,6 rel@1,-2 wheel240 tool1+; "/TIME" after one to load it.
inline const char* const kKinds[] = {"move", "rel", "btn", "key", "wheel", "tool"};
inline std::string Describe(const UnifiedEvent& e) {
    std::string text = e.type >= 0 && e.type <= kEventToolSwitch ? kKinds[e.type] : "type";
    if (e.type == kEventButton) text += std::to_string(e.mouseFlags);
    if (e.type <= kEventButton) return text + '@' + std::to_string(e.x) + ',' + std::to_string(e.y);
    if (e.type == kEventWheel) return text + std::to_string(e.wheel);
    return text + std::to_string(e.key) + (e.down ? '+' : '-');
}
inline UnifiedEvent Loaded(const std::string& item) {
    UnifiedEvent e;
    const size_t slash = item.rfind('/'), digits = item.find_first_of("-0123456789@");
    e.time = std::stod(item.substr(slash + 1));
    e.type = int32_t(std::find(kKinds, kKinds + 6, item.substr(0, digits)) - kKinds);
    const std::string rest = item.substr(digits, slash - digits);
    if (e.type == kEventButton) {
        std::sscanf(rest.c_str(), "%" SCNu64 "@%" SCNd64 ",%" SCNd64, &e.mouseFlags, &e.x, &e.y);
    } else if (e.type < kEventButton) {
        EXPECT_EQ(std::sscanf(rest.c_str(), "@%" SCNd64 ",%" SCNd64, &e.x, &e.y), 2) << item;
    } else if (e.type == kEventWheel) {
        e.wheel = std::stoi(rest);
    } else {
        e.key = std::stoi(rest);
        e.down = rest.back() == '+';
    }
    return e;
}

inline std::string Rest(std::istringstream& words) {
    std::string text, item;
    while (words >> item) text += (text.empty() ? "" : " ") + item;
    return text;
}

// A value by name: a global of kVars, the active profile's "targets", "times", "recorded" or
// number of "events", or what the runner adds; none for an unknown name.
using Lookup = std::function<std::optional<std::string>(const std::string&)>;
inline std::string Num(double value) {
    std::ostringstream text;
    text << std::setprecision(15) << value;
    return text.str();
}
// A rule that turns stored values into sound ones, called as RULE:ARG:ARG...; none for another
// name.
inline std::optional<std::string> Called(const std::string& name) {
    const auto parts = Split(name, ":");
    const auto d = [&](size_t i) { return std::stod(parts.at(i + 1)); };
    const auto n = [&](size_t i) { return int64_t(d(i)); };
    const std::string& rule = parts[0];
    if (rule == "speed") return Num(PlaybackSpeedFrom(std::stof(parts.at(1))));
    if (rule == "offset") return std::to_string(PlaybackOffsetNs(d(0), d(1)));
    if (rule == "jitter") return Num(EffectiveJitterMs(n(0), n(1)));
    if (rule == "interval") return Num(ToolIntervalMs(n(0), n(1), n(2), n(3)));
    if (rule == "next") return Num(NextDueNs(n(0), n(1), n(2)));
    if (rule == "hold") {
        const SpanMs span = HoldSpan(n(0), n(1), n(2), n(3) != 0, 400);
        return Num(span.low) + "," + Num(span.high);
    }
    if (rule != "area") return std::nullopt;
    const ClickArea a = AreaFromSettings(n(0), n(1), n(2), n(3), n(4), n(5), n(6), n(7), n(8), 480);
    return Num(a.left) + "," + Num(a.top) + "," + Num(a.right) + "," + Num(a.bottom) + "," +
           Num(a.radiusSquared);
}

inline std::optional<std::string> Value(const std::string& name, const Lookup& more) {
    if (const auto it = kVars.find(name); it != kVars.end()) return Num(it->second.get());
    if (const auto called = Called(name)) return called;
    if (name != "targets" && name != "times" && name != "recorded" && name != "events") {
        return more ? more(name) : std::nullopt;
    }
    std::ostringstream text;
    std::lock_guard<std::mutex> lock(profileMutex);
    const auto separate = [&](const char* by) { return text.tellp() > 0 ? by : ""; };
    if (name == "targets") {
        for (int i = 0; i < keySpamTargetCount; ++i) text << separate(",") << keySpamTargets[i];
    } else if (name == "times") {
        for (const auto& e : Events()) text << separate(",") << e.time;
    } else if (name == "events") {
        text << Events().size();
    } else {
        for (const auto& e : Events()) text << separate(" ") << Describe(e);
    }
    return text.str();
}

// Whether "NAME op VALUE" holds; "NAME TEXT..." compares the rest of the line whole.
inline bool Holds(const std::string& item, std::istringstream& words, const Lookup& more,
                  std::string& seen) {
    const size_t at = item.find_first_of("=!<>");
    if (at == std::string::npos) {
        const std::string want = Rest(words);
        seen = Value(item, more).value_or("unknown name " + item);
        return seen == want || (seen += ", not " + want, false);
    }
    const std::string op = item.substr(at, item[at + 1] == '=' ? 2 : 1);
    const std::string wanted = item.substr(at + op.size());
    seen = Value(item.substr(0, at), more).value_or("unknown name");
    const std::string want = Value(wanted, more).value_or(wanted);
    if (op == "=" || op == "!=") return (seen == want) == (op == "=");
    char* end = nullptr;
    const double a = std::strtod(seen.c_str(), &end), b = std::stod(want);
    return *end == 0 && (op == ">=" ? a >= b : a <= b);
}
// Whether every check of the line holds; those that do not are failures when reported.
inline bool Expect(std::istringstream& words, const std::string& where, const Lookup& more,
                   bool report = true) {
    std::string item, seen;
    bool all = true;
    while (words >> item) {
        const bool holds = Holds(item, words, more, seen);
        if (report) {
            EXPECT_TRUE(holds) << where << ": " << item << " but saw " << seen;
        }
        all = all && holds;
    }
    return all;
}

inline void Assign(const std::string& assignment, const std::string& where) {
    const auto eq = assignment.find('=');
    const auto it = kVars.find(assignment.substr(0, eq));
    ASSERT_TRUE(eq != std::string::npos && it != kVars.end()) << where << ": " << assignment;
    it->second.set(std::stod(assignment.substr(eq + 1)));
}

// The lines both runners know: set, load, append and remove. False for any other verb.
inline bool RunCommonLine(const std::string& verb, std::istringstream& words,
                          const std::string& where) {
    std::string item;
    if (verb == "set") {
        while (words >> item) Assign(item, where);
    } else if (verb == "load" || verb == "retime") {
        std::lock_guard<std::mutex> lock(profileMutex);
        if (verb == "load") Events().clear();
        while (words >> item) {
            if (verb == "load") Events().push_back(Loaded(item));
            if (verb == "retime") RetimeRecordedEvents(Events(), std::stoul(item), 0.1, 0.55);
        }
    } else if (verb == "append" || verb == "remove") {
        while (words >> item)
            (verb == "append" ? AppendKeySpamTarget : RemoveKeySpamTarget)(std::stoi(item));
    } else {
        return false;
    }
    return true;
}

// Runs each line that is neither blank nor a comment, up to the first that fails.
inline void Replay(const fs::path& file,
                   const std::function<void(const std::string&, const std::string&)>& run) {
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::string line;
    for (int number = 1; std::getline(in, line) && !testing::Test::HasFailure(); ++number) {
        if (!line.empty() && line[0] != '#')
            run(line, file.filename().string() + ":" + std::to_string(number));
    }
}

inline std::vector<fs::path> Files(const char* dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".trace") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace trace
