// Replays the trace files in tests/engine/traces against the dispatch logic, without a display.
//
// A trace is a list of lines:
//   set NAME=VALUE                  sets a global (see kGlobals) before the next event
//   key VK down|up => swallow|pass [+triggerX ...]
//   button VK down|up X Y => swallow|pass [+triggerX ...]
//   move X Y [DX DY] => pass        wheel LINES => pass      lock   (the session locks)
//   record fresh                    starts a fresh recording (through the signal processor)
//   expect NAME=VALUE               checks a global
//   expect recorded EVENT ...       checks the active profile's events, times left out:
//                                   key65+ key65- btn2@10,20 move@5,6 rel@1,-2 wheel240 tool1+
// The trigger flags after "=>" must be exactly those the event raised; all are cleared after
// each event. Blank lines and lines starting with # are ignored.
#include "engine/hotkeys.h"
#include "engine/signals.h"
#include "platform/tap.h"
#include "state/tool_state.h"
#include "tests/support/fresh_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct IntGlobal {
    std::atomic<int32_t>* i = nullptr;
    std::atomic<bool>* b = nullptr;
};

const std::map<std::string, IntGlobal>& Globals() {
    static const std::map<std::string, IntGlobal> globals = {
        {"vkAutoClicker", {&vkAutoClicker}},
        {"vkKeySpamHotkey", {&vkKeySpamHotkey}},
        {"vkRecord", {&vkRecord}},
        {"vkPlay", {&vkPlay}},
        {"vkUnlock", {&vkUnlock}},
        {"currentReassign", {&currentReassign}},
        {"capturedReassignKey", {&capturedReassignKey}},
        {"autoClickFixedX", {&autoClickFixedX}},
        {"autoClickFixedY", {&autoClickFixedY}},
        {"autoClickLocationMode", {&autoClickLocationMode}},
        {"g_HotkeysEnabled", {nullptr, &g_HotkeysEnabled}},
        {"g_HotkeyLockEnabled", {nullptr, &g_HotkeyLockEnabled}},
        {"g_HotkeysUnlocked", {nullptr, &g_HotkeysUnlocked}},
        {"isPickingLocation", {nullptr, &isPickingLocation}},
        {"isRecording", {nullptr, &isRecording}},
        {"bRecordMouseMovement", {nullptr, &bRecordMouseMovement}},
        {"bRecordMouseClicks", {nullptr, &bRecordMouseClicks}},
        {"bRecordMouseScroll", {nullptr, &bRecordMouseScroll}},
        {"bRecordKeyboard", {nullptr, &bRecordKeyboard}},
        {"bUseRelativeMouse", {nullptr, &bUseRelativeMouse}},
    };
    return globals;
}

const std::map<std::string, std::atomic<bool>*>& Triggers() {
    static const std::map<std::string, std::atomic<bool>*> triggers = {
        {"triggerAutoClicker", &triggerAutoClicker},
        {"triggerAutoClickStart", &triggerAutoClickStart},
        {"triggerAutoClickStop", &triggerAutoClickStop},
        {"triggerKeySpam", &triggerKeySpam},
        {"triggerKeySpamStart", &triggerKeySpamStart},
        {"triggerKeySpamStop", &triggerKeySpamStop},
        {"triggerRecord", &triggerRecord},
        {"triggerRecordStart", &triggerRecordStart},
        {"triggerRecordStop", &triggerRecordStop},
        {"triggerPlay", &triggerPlay},
        {"triggerPlayStart", &triggerPlayStart},
        {"triggerPlayStop", &triggerPlayStop},
    };
    return triggers;
}

std::string Describe(const UnifiedEvent& e) {
    std::ostringstream text;
    switch (e.type) {
        case 0:
            text << "move@" << e.x << ',' << e.y;
            break;
        case 1:
            text << "rel@" << e.x << ',' << e.y;
            break;
        case 2:
            text << "btn" << e.mouseFlags << '@' << e.x << ',' << e.y;
            break;
        case 3:
            text << "key" << e.key << (e.down ? '+' : '-');
            break;
        case 4:
            text << "wheel" << e.wheel;
            break;
        case 5:
            text << "tool" << e.key << (e.down ? '+' : '-');
            break;
        default:
            text << "type" << e.type;
            break;
    }
    return text.str();
}

std::string RecordedEvents() {
    std::lock_guard<std::mutex> lock(profileMutex);
    std::string text;
    for (const auto& e : profiles[currentProfileIdx].events) {
        text += (text.empty() ? "" : " ") + Describe(e);
    }
    return text;
}

std::string RaisedTriggers() {
    std::string text;
    for (const auto& [name, flag] : Triggers()) {
        if (flag->exchange(false)) text += (text.empty() ? "+" : " +") + name;
    }
    return text;
}

void SetGlobal(const std::string& assignment, const std::string& where) {
    const auto eq = assignment.find('=');
    const auto it = Globals().find(assignment.substr(0, eq));
    ASSERT_TRUE(eq != std::string::npos && it != Globals().end()) << where;
    const int value = std::stoi(assignment.substr(eq + 1));
    if (it->second.i) it->second.i->store(value);
    if (it->second.b) it->second.b->store(value != 0);
}

std::string GlobalValue(const std::string& name) {
    const auto it = Globals().find(name);
    if (it == Globals().end()) return "?";
    return std::to_string(it->second.i ? it->second.i->load() : int(it->second.b->load()));
}

TapEvent ParseEvent(std::istringstream& words, const std::string& kind) {
    TapEvent event;
    std::string direction;
    if (kind == "key") {
        words >> event.vk >> direction;
        event.down = direction == "down";
    } else if (kind == "button") {
        event.kind = TapEvent::kButton;
        words >> event.vk >> direction >> event.x >> event.y;
        event.down = direction == "down";
    } else if (kind == "move") {
        event.kind = TapEvent::kMove;
        words >> event.x >> event.y;
        words >> event.dx >> event.dy;
    } else {
        event.kind = TapEvent::kWheel;
        words >> event.wheelLines;
    }
    return event;
}

void CheckOutcome(bool swallowed, const std::string& rest, const std::string& where) {
    std::istringstream words(rest);
    std::string arrow, outcome, trigger, expectedTriggers;
    words >> arrow >> outcome;
    ASSERT_EQ(arrow, "=>") << where;
    EXPECT_EQ(swallowed ? "swallow" : "pass", outcome) << where;
    while (words >> trigger) expectedTriggers += (expectedTriggers.empty() ? "" : " ") + trigger;
    EXPECT_EQ(RaisedTriggers(), expectedTriggers) << where;
}

void RunLine(const std::string& line, const std::string& where) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "set") {
        std::string assignment;
        words >> assignment;
        SetGlobal(assignment, where);
    } else if (verb == "expect") {
        std::string what;
        words >> what;
        if (what == "recorded") {
            std::string expected, item;
            while (words >> item) expected += (expected.empty() ? "" : " ") + item;
            EXPECT_EQ(RecordedEvents(), expected) << where;
        } else {
            const auto eq = what.find('=');
            EXPECT_EQ(GlobalValue(what.substr(0, eq)), what.substr(eq + 1)) << where;
        }
    } else if (verb == "record") {
        triggerRecordStart = true;
        ProcessSignals();
        ASSERT_TRUE(isRecording) << where;
    } else if (verb == "lock") {
        InputTapOnSessionLocked();
    } else if (verb == "key" || verb == "button" || verb == "move" || verb == "wheel") {
        const TapEvent event = ParseEvent(words, verb);
        const bool swallowed = TapCallback(event);
        std::string rest;
        std::getline(words, rest);
        CheckOutcome(swallowed, rest, where);
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
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        RunLine(line, GetParam().filename().string() + ":" + std::to_string(number));
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
