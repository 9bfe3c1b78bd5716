// Replays the trace files in tests/engine/traces against the dispatch logic, the signal
// processor and the recorder, without a display. A trace is a list of lines:
//   set NAME=VALUE ... [=> CHECK ...]  sets globals (see kVars), then checks as expect does
//   signals NAME=VALUE ... [=> ...]    the same, with one signal-processor pass in between
//   expect NAME=VALUE ...              checks globals; "targets" lists the live key spammer
//                                      targets, "times" the active profile's event times;
//                                      RULE:ARG:... calls a rule (see rules.trace)
//   expect recorded EVENT ...          checks the active profile's events, times left out:
//                                      key65+ key65- btn2@10,20 move@5,6 rel@1,-2 wheel240 tool1+
//   load key65+/0.5 btn2/1 ...         replaces the active profile's events (event/time)
//   retime FIRST                       retimes from event FIRST on (gap 0.1 s, same button 0.55 s)
//   append VK ... | remove INDEX ...   edits the key spammer's targets
//   lock                               the session locks
//   key VK down|up => swallow|pass [+triggerX ...]
//   button VK down|up X Y => swallow|pass [+triggerX ...]
//   move X Y DX DY => pass             wheel LINES => pass
// The trigger flags after "=>" must be exactly those the event raised; all are cleared after
// each event. Blank lines and lines starting with # are ignored.
#include "engine/hotkeys.h"
#include "engine/recorder.h"
#include "engine/signals.h"
#include "platform/tap.h"
#include "tests/engine/trace_lines.h"
#include "tests/support/fresh_state.h"

namespace {

using namespace trace;

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
        if (name.rfind("trigger", 0) == 0 && var.flag->exchange(false)) {
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
        if (item == "=>") Expect(words, where, nullptr);
    } else if (verb == "expect") {
        Expect(words, where, nullptr);
    } else if (verb == "lock") {
        InputTapOnSessionLocked();
    } else if (verb == "key" || verb == "button" || verb == "move" || verb == "wheel") {
        RunEvent(verb, words, where);
    } else if (!RunCommonLine(verb, words, where)) {
        FAIL() << where << ": unknown line";
    }
}

class DispatchTrace : public testing::TestWithParam<fs::path> {};

TEST_P(DispatchTrace, Replays) {
    ResetToOneDefaultProfile();
    ClearTapTrackers();
    Replay(GetParam(), RunLine);
    ResetToolStateForTest();
}

INSTANTIATE_TEST_SUITE_P(Traces, DispatchTrace, testing::ValuesIn(Files(QLN_TRACE_DIR)),
                         [](const auto& trace) { return trace.param.stem().string(); });

}  // namespace
