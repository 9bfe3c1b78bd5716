// Replays the trace files in tests/engine/x11traces with the engine's threads posting for real
// on the binary's private X server: an independent observer sees what our XTEST devices post,
// the user's input comes through the server's own devices, and the server says what is held.
// Besides set, load, append and remove (as in the dispatch traces) a trace has these lines:
//   expect CHECK ...      NAME=VALUE, NAME!=VALUE, NAME>=VALUE, NAME<=VALUE, or NAME TEXT...
//   wait CHECK ...        the same, polled until they hold (five seconds at most)
//   raise TRIGGER ...     requests as the bridge makes them
//   user key|button CODE down|up, user tap|click CODE, user move X Y
//   own key VK down|up, own button INDEX down|up, own move X Y   our own posting layer
//   tap                   starts the input tap and a focused probe window of another process
//   settle | catchup      everything injected has been through the tap | reached the observer
//   clear | mark | probe clear | threads stop|start | hotkey VK | stall INDEX
//   run TRIGGER PRESSES   a budgeted run, from a cleared observer until idle
//   play                  starts playback with a cleared observer
//   played GROUPS         what each recorded event posted, between bars, and when
//   steps N DX DY         user steps, each noted as "move@X,Y" where the server put the pointer
//   note WHAT             notes "WHAT@X,Y" likewise
//   screensaver | ownwindow X Y | othergrab CODE | othergrab release | bind ...
//   hold | release        holds the recording's lock, so the tap falls behind its events
// Names a check may use besides the globals: posted (the postings: "1+ 1- A+ M100,100"),
// postings, presses, n.TEXT (postings starting with TEXT), last.TEXT (the last of those),
// gap.I.J (server ms from posting I to J, "last" allowed), mingap.I (least gap from I on),
// since.I (observer ms from the mark to press I), held (server-held b1,k38 or none), pointer,
// idle, noted, keys (probe's key lines), Key/ButtonPress/Release.CODE
// (probe counts), grabbed.CODE (another client grabs it).
#include "engine/hotkeys.h"
#include "engine/playback.h"
#include "engine/workers.h"
#include "platform/keys.h"
#include "platform/tap.h"
#include "store/profiles.h"
#include "tests/engine/trace_lines.h"
#include "tests/support/files.h"
#include "tests/support/fresh_state.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"

// X11 after GoogleTest: its macros (None, Bool, ...) would break GoogleTest's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/scrnsaver.h>

#include <cmath>

static std::atomic<long> g_StallBeforeEvent{-1};

// The engine's test seam: stalls the engine once before the chosen event.
void QlnPlaybackStallSeam(size_t eventIndex) {
    if (static_cast<long>(eventIndex) != g_StallBeforeEvent.load()) return;
    g_StallBeforeEvent = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

namespace {

using namespace trace;
constexpr int64_t kMs = 1000000;
constexpr int kMarker = 9;  // Esc, pressed by the user to mark a point in the observed events

// One event our devices posted: "M100,100" for a move (or a relative step), buttons by number
// and keys by their VK's letter, each with + or -.
struct Posting {
    std::string text;
    int64_t stampNs = 0;         // when the observer got it
    unsigned long serverMs = 0;  // the server's own time of it
};

class X11Trace : public testing::TestWithParam<fs::path> {
protected:
    void SetUp() override {
        ResetToOneDefaultProfile();
        ASSERT_TRUE(OsInputInit());
        observer.withMotion = true;
        ASSERT_TRUE(StartObserver(observer));
        ASSERT_NE(input = OpenPhysicalInput(), nullptr);
        ASSERT_NE(mine = XOpenDisplay(nullptr), nullptr);
        StartToolThreads();
    }
    void TearDown() override {
        StopToolsForExit();
        if (tapping) OsStopInputTap();
        StopProbe(probe);
        WakeAndJoinWorkers();
        for (Display* display : {other, mine}) {
            if (display) XCloseDisplay(display);
        }
        ClosePhysicalInput(input);
        StopObserver(observer);
        OsInputShutdown();
        g_AppRunning = true;
        ResetToolStateForTest();
    }

    std::vector<Posting> Posted(bool pressesOnly = false) {
        std::vector<Posting> posted;
        for (const ObservedEvent& e : ObservedSnapshot(observer)) {
            if (e.sourceId != observer.xtestPointerId && e.sourceId != observer.xtestKeyboardId) {
                continue;
            }
            const bool key = e.type == XI_RawKeyPress || e.type == XI_RawKeyRelease;
            const bool press = e.type == XI_RawKeyPress || e.type == XI_RawButtonPress;
            std::string text =
                key ? std::string(1, char(OsKeyCodeToVk(e.detail))) : std::to_string(e.detail);
            if (e.type == XI_RawMotion) {
                text =
                    "M" + std::to_string(std::lround(e.x)) + "," + std::to_string(std::lround(e.y));
            } else {
                text += press ? '+' : '-';
            }
            if (press || !pressesOnly) posted.push_back({text, e.stampNs, e.serverMs});
        }
        return posted;
    }
    std::string Trace() {
        std::vector<std::string> texts;
        for (const Posting& p : Posted()) texts.push_back(p.text);
        return Joined(texts, " ");
    }

    // Everything injected so far has been through the tap once it answers a grab sync.
    static void Settle() {
        ASSERT_TRUE(OsTapSyncGrabs(5000));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(OsTapSyncGrabs(5000));
    }
    // Everything the server did so far has reached the observer once a key of the user's that
    // came after it has.
    void CatchUp() {
        const auto markers = [&] { return ObservedCount(observer, XI_RawKeyRelease, 0, kMarker); };
        const auto before = markers();
        PhysicalTap(input, kMarker);
        ASSERT_TRUE(WaitUntil([&] { return markers() > before; }));
    }
    void Wait(const std::string& checks, const std::string& where) {
        const auto hold = [&](bool report) {
            std::istringstream words(checks);
            return Expect(words, where, more, report);
        };
        // Asking whether another client grabs a key grabs it for a moment: not too often.
        const int pollMs = checks.find("grabbed") == std::string::npos ? 1 : 20;
        if (!WaitUntil([&] { return hold(false); }, 5000, pollMs) && hold(true)) {
            FAIL() << where << ": held only after the wait";
        }
    }

    // Names read from what the observer saw: the snapshot is taken only for them, as a wait
    // asks every millisecond.
    std::optional<std::string> FromPostings(const std::string& name) {
        const auto dot = name.find_first_of(".:");
        const std::string head = name.substr(0, dot), arg = name.substr(dot + 1);
        const auto posted = Posted();
        const auto index = [&](const std::string& at) {
            return at == "last" ? posted.size() - 1 : std::stoul(at);
        };
        const auto server = [&](size_t i) { return long(posted.at(i).serverMs); };
        std::vector<std::string> items;
        for (const Posting& p : posted) {
            if (p.text.rfind(arg, 0) == 0) items.push_back(p.text);
        }
        if (name == "posted") return Trace();
        if (name == "postings") return std::to_string(posted.size());
        if (name == "presses") return std::to_string(Posted(true).size());
        if (head == "n") return std::to_string(items.size());
        if (head == "last") return items.empty() ? "" : items.back();
        if (head == "gap") {
            const auto to = arg.find('.');
            return std::to_string(server(index(arg.substr(to + 1))) -
                                  server(index(arg.substr(0, to))));
        }
        if (head == "mingap") {
            long least = std::numeric_limits<long>::max();
            for (size_t i = std::stoul(arg); i < posted.size(); ++i)
                least = std::min(least, server(i) - server(i - 1));
            return std::to_string(least);
        }
        return std::to_string((Posted(true).at(std::stoul(arg)).stampNs - markNs) / kMs);
    }

    std::optional<std::string> Named(const std::string& name) {
        const auto dot = name.find_first_of(".:");
        const std::string head = name.substr(0, dot), arg = name.substr(dot + 1);
        for (const char* fromPostings :
             {"posted", "postings", "presses", "n", "last", "gap", "mingap", "since"}) {
            if (head == fromPostings) return FromPostings(name);
        }
        std::vector<std::string> items;
        if (name == "held") {
            for (int b : ServerHeldButtons()) items.push_back("b" + std::to_string(b));
            for (int k : ServerHeldKeys()) items.push_back("k" + std::to_string(k));
            return items.empty() ? "none" : Joined(items, ",");
        }
        if (name == "pointer") {
            const auto [x, y] = ServerPointer();
            return std::to_string(x) + "," + std::to_string(y);
        }
        if (name == "idle") {
            return std::to_string(!isAutoClicking && currentClickCount == 0 && !isKeySpamming &&
                                  currentKeySpamCount == 0);
        }
        if (name == "noted") return noted;
        if (name == "keys") {
            for (const auto& line : ProbeLines(probe)) {
                if (line.rfind("Key", 0) == 0) items.push_back(line);
            }
            return Joined(items, ",");
        }
        if (head.rfind("Key", 0) == 0 || head.rfind("Button", 0) == 0) {
            return std::to_string(ProbeCount(probe, head + " " + arg));
        }
        if (head != "grabbed") return std::nullopt;
        return std::to_string(KeyGrabbedByAnotherClient(std::stoi(arg)));
    }
    const Lookup more = [this](const std::string& name) { return Named(name); };

    void Note(const std::string& what) {
        const auto [x, y] = ServerPointer();
        noted +=
            (noted.empty() ? "" : " ") + what + "@" + std::to_string(x) + "," + std::to_string(y);
    }

    // Each recorded event's postings, then each one's first posting against its schedule in the
    // server's own times (the observer may be late): none is early, and none later than ten
    // milliseconds, ten times what is normal, after the start that fits best.
    void Played(std::string groups, const std::string& where) {
        std::string flat = groups;
        std::replace(flat.begin(), flat.end(), '|', ' ');
        ASSERT_TRUE(WaitUntil([&] { return Trace().size() >= flat.size(); })) << where;
        ASSERT_EQ(Trace(), flat) << where;
        const auto posted = Posted();
        std::istringstream each(groups);
        std::vector<std::pair<double, std::string>> offsets;  // posted less scheduled, in ms
        size_t next = 0;
        std::lock_guard<std::mutex> lock(profileMutex);
        for (const UnifiedEvent& event : profiles[0].events) {
            std::string group;
            if (!std::getline(each, group, '|') || next >= posted.size()) break;
            offsets.emplace_back(double(posted[next].serverMs) - event.time / fPlaybackSpeed * 1000,
                                 group);
            next += size_t(std::count(group.begin(), group.end(), ' ')) + 1;
        }
        const double start = std::min_element(offsets.begin(), offsets.end())->first;
        for (const auto& [offset, group] : offsets)
            EXPECT_LE(offset - start, 10.0) << where << group;
    }

    // The user's input through the server's devices, or our own through the posting layer.
    void Input(const std::string& who, std::istringstream& words) {
        std::string what, direction;
        int a = 0;
        words >> what >> a >> direction;
        const bool down = direction == "down", user = who == "user";
        if (what == "key") user ? PhysicalKey(input, a, down) : OsKeyVk(a, down);
        if (what == "button") user ? PhysicalButton(input, a, down) : OsMouseButton(a, down, 1);
        if (what == "move") {
            user ? PhysicalMoveTo(input, a, std::stoi(direction))
                 : OsMoveMouseTo(a, std::stoi(direction));
        }
        if (what == "tap") PhysicalTap(input, a);
        if (what == "click") PhysicalClick(input, a);
        if (!user) OsInputSync();
    }
    // A window of this very process, which the recorder must not record clicks on.
    void OwnWindow(int x, int y) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        const Window window =
            XCreateWindow(mine, DefaultRootWindow(mine), x, y, 100, 100, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        const unsigned long pid = static_cast<unsigned long>(getpid());
        XChangeProperty(mine, window, XInternAtom(mine, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapRaised(mine, window);
        XSync(mine, False);
    }

    void RunLine(const std::string& line, const std::string& where) {
        std::istringstream words(line);
        std::string verb, item;
        words >> verb;
        const auto number = [&] { return (words >> item) ? std::stoi(item) : 0; };
        if (verb == "expect") {
            Expect(words, where, more);
        } else if (verb == "wait") {
            Wait(Rest(words), where);
        } else if (verb == "raise") {
            while (words >> item) RaiseRequest(*kVars.at(item).flag);
        } else if (verb == "user" || verb == "own") {
            Input(verb, words);
        } else if (verb == "tap") {
            ASSERT_TRUE(tapping = OsStartInputTap());
            ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, 100, 100, 400, 300));
            PhysicalMoveTo(input, 300, 250);
            Settle();
        } else if (verb == "settle") {
            Settle();
        } else if (verb == "catchup") {
            CatchUp();
        } else if (verb == "clear" || verb == "play") {
            ClearObserved(observer);
            if (verb == "play") RaiseRequest(triggerPlayStart);
            if (verb == "play") Wait("isPlaying=1", where);
        } else if (verb == "mark") {
            markNs = MonotonicNs();
        } else if (verb == "probe") {
            ClearProbe(probe);
        } else if (verb == "threads") {
            words >> item;
            if (item == "start") StartToolThreads();
            if (item == "stop") StopToolsForExit(), WakeAndJoinWorkers(), g_AppRunning = true;
        } else if (verb == "hotkey") {
            HandleHotkeyDown(number());
        } else if (verb == "stall") {
            g_StallBeforeEvent = number();
        } else if (verb == "run") {
            std::string trigger;
            words >> trigger;
            const int presses = number();
            ClearObserved(observer);
            markNs = MonotonicNs();
            RaiseRequest(*kVars.at(trigger).flag);
            Wait(trigger + "=0 idle=1 presses>=" + std::to_string(presses), where);
            // Anything more would be a fault; give it time to show up, then let it arrive.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            CatchUp();
        } else if (verb == "played") {
            Played(Rest(words), where);
        } else if (verb == "steps") {
            const int steps = number(), dx = number(), dy = number();
            for (int i = 0; i < steps; ++i) PhysicalMoveBy(input, dx, dy), Note("move");
        } else if (verb == "hold" || verb == "release") {
            if (verb == "hold") recordingLock = std::unique_lock<std::mutex>(profileMutex);
            if (verb == "release") recordingLock.unlock();
        } else if (verb == "note") {
            Note(Rest(words));
        } else if (verb == "screensaver") {
            XForceScreenSaver(mine, ScreenSaverActive);
            XSync(mine, False);
            Settle();
            XForceScreenSaver(mine, ScreenSaverReset);
            XSync(mine, False);
        } else if (verb == "ownwindow") {
            const int x = number();
            OwnWindow(x, number());
        } else if (verb == "othergrab") {
            words >> item;
            if (item == "release") {
                XCloseDisplay(std::exchange(other, nullptr));
            } else {
                ASSERT_TRUE((other = XOpenDisplay(nullptr)));
                ASSERT_EQ(GrabKeyOnRoot(other, std::stoi(item), true), 0);
            }
        } else if (verb == "bind") {
            words >> item;
            if (item == "switch") BindSwitchProfile(Rest(words));
            if (item == "delete") BindDeleteProfile();
            if (item == "clear") BindClearProfile();
            if (item == "add") BindAddProfile(Rest(words));
        } else if (!RunCommonLine(verb, words, where)) {
            FAIL() << where << ": unknown line";
        }
    }

    Xi2Observer observer;
    PhysicalInput* input = nullptr;
    Probe probe;
    bool tapping = false;
    Display* mine = nullptr;   // a connection of ours: our own window, the screen saver
    Display* other = nullptr;  // another client, holding a grab
    int64_t markNs = 0;
    std::string noted;
    std::unique_lock<std::mutex> recordingLock;
};

TEST_P(X11Trace, Replays) {
    Replay(GetParam(),
           [this](const std::string& line, const std::string& where) { RunLine(line, where); });
}

INSTANTIATE_TEST_SUITE_P(Traces, X11Trace, testing::ValuesIn(Files(QLN_TRACE_DIR)),
                         [](const auto& trace) { return trace.param.stem().string(); });

}  // namespace
