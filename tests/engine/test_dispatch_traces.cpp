// Replays the trace files in tests/engine/traces against the dispatch logic, the signal
// processor and the recorder, without a display. A trace is a list of lines:
//   set NAME=VALUE ... [=> CHECK ...]  sets globals (see kVars), then checks as expect does
//   signals NAME=VALUE ... [=> ...]    the same, with one signal-processor pass in between
//   expect NAME=VALUE ...              checks globals; "targets" lists the live key spammer
//                                      targets, "times" the active profile's event times
//   expect recorded EVENT ...          checks the active profile's events, times left out:
//                                      key65+ key65- btn2@10,20 move@5,6 rel@1,-2 wheel240 tool1+
//   load key65+/0.5 btn2/1 ...         replaces the active profile's events (key or button, time)
//   retime FIRST                       retimes from event FIRST on (gap 0.1 s, same button 0.55 s)
//   append VK ... | remove INDEX ...   edits the key spammer's targets
//   record fresh | lock                starts a fresh recording | the session locks
//   key VK down|up => swallow|pass [+triggerX ...]
//   button VK down|up X Y => swallow|pass [+triggerX ...]
//   move X Y DX DY => pass             wheel LINES => pass
// The trigger flags after "=>" must be exactly those the event raised; all are cleared after
// each event. Blank lines and lines starting with # are ignored.
#include "engine/hotkeys.h"
#include "engine/keyspammer.h"
#include "engine/recorder.h"
#include "engine/signals.h"
#include "platform/tap.h"
#include "state/humanize.h"
#include "state/tool_state.h"
#include "tests/support/fresh_state.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// A global the traces set and check, named as in the code.
struct Var {
    Var(std::atomic<int32_t>& v) : i(&v) {}
    Var(std::atomic<bool>& v) : b(&v) {}
    std::atomic<int32_t>* i = nullptr;
    std::atomic<bool>* b = nullptr;
};
template <typename... Named>
std::map<std::string, Var> Vars(Named... named) {
    return {named...};
}
#define VAR(name) std::make_pair(std::string(#name), Var(name))
const std::map<std::string, Var> kVars = Vars(
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
    VAR(humanizeAreaHeight), VAR(humanizeClicker), VAR(g_HoldModeAuto), VAR(g_HoldModeKeySpam));

std::vector<UnifiedEvent>& Events() { return profiles[currentProfileIdx].events; }

std::string Describe(const UnifiedEvent& e) {
    static const char* const kKinds[] = {"move", "rel", "btn", "key", "wheel", "tool"};
    std::string text = e.type >= 0 && e.type <= kEventToolSwitch ? kKinds[e.type] : "type";
    if (e.type == kEventButton) text += std::to_string(e.mouseFlags);
    if (e.type <= kEventButton) return text + '@' + std::to_string(e.x) + ',' + std::to_string(e.y);
    if (e.type == kEventWheel) return text + std::to_string(e.wheel);
    return text + std::to_string(e.key) + (e.down ? '+' : '-');
}

std::string Value(const std::string& name) {
    std::ostringstream text;
    std::lock_guard<std::mutex> lock(profileMutex);
    const auto separate = [&](const char* by) { return text.tellp() > 0 ? by : ""; };
    if (name == "targets") {
        for (int i = 0; i < keySpamTargetCount; ++i) text << separate(",") << keySpamTargets[i];
    } else if (name == "times") {
        for (const auto& e : Events()) text << separate(",") << e.time;
    } else if (name == "recorded") {
        for (const auto& e : Events()) text << separate(" ") << Describe(e);
    } else if (const auto it = kVars.find(name); it != kVars.end()) {
        text << (it->second.i ? it->second.i->load() : int(it->second.b->load()));
    } else {
        text << "unknown name " << name;
    }
    return text.str();
}

void Assign(const std::string& assignment, const std::string& where) {
    const auto eq = assignment.find('=');
    const auto it = kVars.find(assignment.substr(0, eq));
    ASSERT_TRUE(eq != std::string::npos && it != kVars.end()) << where << ": " << assignment;
    const int value = std::stoi(assignment.substr(eq + 1));
    if (it->second.i) it->second.i->store(value);
    if (it->second.b) it->second.b->store(value != 0);
}

UnifiedEvent Loaded(const std::string& item) {
    UnifiedEvent e{kEventKey};
    char sign = 0;
    if (std::sscanf(item.c_str(), "key%d%c/%lf", &e.key, &sign, &e.time) == 3) {
        e.down = sign == '+';
    } else {
        e.type = kEventButton;
        EXPECT_EQ(std::sscanf(item.c_str(), "btn%" SCNu64 "/%lf", &e.mouseFlags, &e.time), 2)
            << item;
    }
    return e;
}

std::string Rest(std::istringstream& words) {
    std::string text, item;
    while (words >> item) text += (text.empty() ? "" : " ") + item;
    return text;
}

void RunEvent(const std::string& kind, std::istringstream& words, const std::string& where) {
    TapEvent event;
    std::string direction, arrow, outcome, raised;
    if (kind == "key" || kind == "button") {
        words >> event.vk >> direction;
        event.down = direction == "down";
        if (kind == "button") words >> event.x >> event.y;
        event.kind = kind == "key" ? TapEvent::kKey : TapEvent::kButton;
    } else if (kind == "move") {
        event.kind = TapEvent::kMove;
        words >> event.x >> event.y >> event.dx >> event.dy;
    } else {
        event.kind = TapEvent::kWheel;
        words >> event.wheelLines;
    }
    words >> arrow >> outcome;
    EXPECT_EQ(arrow + (TapCallback(event) ? " swallow" : " pass"), "=> " + outcome) << where;
    for (const auto& [name, var] : kVars) {
        if (name.rfind("trigger", 0) == 0 && var.b->exchange(false)) {
            raised += (raised.empty() ? "+" : " +") + name;
        }
    }
    EXPECT_EQ(raised, Rest(words)) << where;
}

void RunLine(const std::string& line, const std::string& where) {
    std::istringstream words(line);
    std::string verb, item;
    words >> verb;
    if (verb == "set" || verb == "signals") {
        while (words >> item && item != "=>") Assign(item, where);
        if (verb == "signals") ProcessSignals();
        if (item == "=>") RunLine("expect " + Rest(words), where);
    } else if (verb == "expect") {
        while (words >> item) {
            if (item == "recorded") {
                EXPECT_EQ(Value(item), Rest(words)) << where;
            } else {
                const auto eq = item.find('=');
                EXPECT_EQ(Value(item.substr(0, eq)), item.substr(eq + 1)) << where << ": " << item;
            }
        }
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
    } else if (verb == "record") {
        RunLine("signals triggerRecordStart=1", where);
    } else if (verb == "lock") {
        InputTapOnSessionLocked();
    } else if (verb == "key" || verb == "button" || verb == "move" || verb == "wheel") {
        RunEvent(verb, words, where);
    } else {
        FAIL() << where << ": unknown line";
    }
}

class DispatchTrace : public testing::TestWithParam<fs::path> {};

TEST_P(DispatchTrace, Replays) {
    ResetToOneDefaultProfile();
    ClearTapTrackers();
    std::ifstream in(GetParam());
    ASSERT_TRUE(in) << GetParam();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line[0] != '#') {
            RunLine(line, GetParam().filename().string() + ":" + std::to_string(number));
        }
    }
    ResetToolStateForTest();
}

std::vector<fs::path> TraceFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(QLN_TRACE_DIR)) {
        if (entry.path().extension() == ".trace") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Traces, DispatchTrace, testing::ValuesIn(TraceFiles()),
                         [](const auto& trace) { return trace.param.stem().string(); });

}  // namespace
