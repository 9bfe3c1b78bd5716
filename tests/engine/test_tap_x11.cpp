// The real tap thread on a private X server. The harness plays the user through the server's
// own devices; a window of another process, which has the focus, says what it received.
#include "engine/keyspammer.h"
#include "platform/tap.h"
#include "tests/engine/engine_x11.h"
#include "tests/support/probe.h"

// X11 after GoogleTest: its macros (None, Bool, ...) would break GoogleTest's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>

namespace {

constexpr int kF5 = 71, kF6 = 72, kF10 = 76, kA = 38, kLeftShift = 50, kReturn = 36,
              kKeypadEnter = 104;

class TapX11 : public EngineX11 {
protected:
    void SetUp() override {
        EngineX11::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(OsStartInputTap());
        ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, 100, 100, 400, 300));
        PhysicalMoveTo(input, 300, 250);
        autoClickIntervalMs = 50;  // slow clicks keep the probe's log short
        Settle();
    }
    void TearDown() override {
        StopToolsForExit();
        OsStopInputTap();
        StopProbe(probe);
        EngineX11::TearDown();
    }

    static void StartRecording() {
        RaiseRequest(triggerRecordStart);
        ASSERT_TRUE(WaitUntil([] { return isRecording.load(); }));
    }
    // Key lines the probe received, leaving out the auto clicker's clicks.
    std::vector<std::string> ProbeKeys() {
        std::vector<std::string> keys;
        for (const auto& line : ProbeLines(probe)) {
            if (line.rfind("Key", 0) == 0) keys.push_back(line);
        }
        return keys;
    }
    bool ProbeSaw(const std::string& line) { return ProbeCount(probe, line) > 0; }
    bool UntilProbeSaw(const std::string& line) {
        return WaitUntil([&] { return ProbeSaw(line); });
    }
    // Everything injected so far has been through the tap once it answers a grab sync.
    static void Settle() {
        ASSERT_TRUE(OsTapSyncGrabs(5000));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(OsTapSyncGrabs(5000));
    }
    // The active profile's events: "key65+", "btn2@200,200", "rel@-47,-2", "abs@300,250".
    static std::string Recorded(size_t atLeast = 0) {
        EXPECT_TRUE(WaitUntil([&] {
            std::lock_guard<std::mutex> lock(profileMutex);
            return profiles[0].events.size() >= atLeast;
        }));
        Settle();
        std::string text;
        std::lock_guard<std::mutex> lock(profileMutex);
        for (const UnifiedEvent& e : profiles[0].events) {
            const std::string at = "@" + std::to_string(e.x) + "," + std::to_string(e.y);
            text += text.empty() ? "" : " ";
            if (e.type == kEventKey) text += "key" + std::to_string(e.key) + (e.down ? "+" : "-");
            if (e.type == kEventButton) text += "btn" + std::to_string(e.mouseFlags) + at;
            if (e.type == kEventRelativeMove) text += "rel" + at;
            if (e.type == kEventAbsoluteMove) text += "abs" + at;
            if (e.type > kEventKey) text += "type" + std::to_string(e.type);
        }
        return text;
    }

    Probe probe;
};

// Locked, F6 reaches the focused window; unlocked, the press the tap takes never does.
TEST_F(TapX11, LockedHotkeysPassThroughAndTheUnlockKeyStillWorks) {
    PhysicalTap(input, kF6);
    ASSERT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
    PhysicalTap(input, kF10);  // locking stops the running clicker
    ASSERT_TRUE(WaitUntil([] { return !isAutoClicking.load() && !g_HotkeysUnlocked.load(); }));
    Settle();
    PhysicalTap(input, kF6);
    ASSERT_TRUE(UntilProbeSaw("KeyRelease 72"));
    EXPECT_FALSE(isAutoClicking);
    PhysicalTap(input, kF10);
    ASSERT_TRUE(WaitUntil([] { return g_HotkeysUnlocked.load(); }));
    Settle();
    PhysicalTap(input, kF6);
    ASSERT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
    Settle();
    EXPECT_EQ(ProbeKeys(), (std::vector<std::string>{"KeyPress 72", "KeyRelease 72"}));
}

// Neither our own events nor clicks on our own window are recorded, and our own F6 is no hotkey.
TEST_F(TapX11, OwnEventsAndClicksOnOurOwnWindowAreNotRecorded) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window own =
        XCreateWindow(display, DefaultRootWindow(display), 600, 100, 100, 100, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, own, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapRaised(display, own);
    XSync(display, False);

    bRecordMouseMovement = false;
    StartRecording();
    for (int vk : {117, 65}) {  // our own F6 and A
        OsKeyVk(vk, true);
        OsKeyVk(vk, false);
    }
    OsMouseButton(0, true, 1);
    OsMouseButton(0, false, 1);
    PhysicalTap(input, kA);
    // Positions are read from the server when the tap handles a click, so each click is left
    // to be handled before the pointer moves on, as a hand would.
    PhysicalMoveTo(input, 650, 150);
    PhysicalClick(input, 1);
    PhysicalClick(input, 3);
    Settle();
    PhysicalMoveTo(input, 200, 200);  // the probe's window: another program
    PhysicalClick(input, 1);
    EXPECT_EQ(Recorded(4), "key65+ key65- btn2@200,200 btn4@200,200");
    EXPECT_FALSE(isAutoClicking);
    XCloseDisplay(display);
}

TEST_F(TapX11, AKeyHeldWhileTheSessionLocksIsSeenFreshAfterwards) {
    PhysicalKey(input, kF6, true);
    ASSERT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XForceScreenSaver(display, ScreenSaverActive);
    XSync(display, False);
    Settle();
    XForceScreenSaver(display, ScreenSaverReset);
    XCloseDisplay(display);
    // The release was lost with the lock; the next press toggles again.
    PhysicalKey(input, kF6, true);
    ASSERT_TRUE(WaitUntil([] { return !isAutoClicking.load(); }));
    PhysicalKey(input, kF6, false);
    Settle();
    EXPECT_TRUE(ProbeKeys().empty());
}

TEST_F(TapX11, AHeldHotkeySwallowsOnlyItself) {
    // Typing and our own key spammer go on while F6 is held down.
    PhysicalKey(input, kF6, true);
    ASSERT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
    PhysicalTap(input, kA);
    ASSERT_TRUE(UntilProbeSaw("KeyRelease 38"));
    keySpamIntervalMs = 20;  // the target is Space, key code 65
    RaiseRequest(triggerKeySpamStart);
    ASSERT_TRUE(WaitUntil([&] { return ProbeCount(probe, "KeyPress 65") >= 5; }));
    RaiseRequest(triggerKeySpamStop);
    PhysicalKey(input, kF6, false);
    Settle();
    EXPECT_TRUE(ProbeSaw("KeyPress 38"));
    EXPECT_TRUE(WaitUntil(
        [&] { return ProbeCount(probe, "KeyRelease 65") >= ProbeCount(probe, "KeyPress 65"); }));
    EXPECT_FALSE(ProbeSaw("KeyPress 72"));

    // A mouse-button hotkey held down: a left click still reaches the window.
    vkRecord = 2;
    ASSERT_TRUE(OsTapSyncGrabs(5000));
    ClearProbe(probe);
    PhysicalButton(input, 3, true);
    ASSERT_TRUE(WaitUntil([] { return isRecording.load(); }));
    PhysicalClick(input, 1);
    ASSERT_TRUE(UntilProbeSaw("ButtonRelease 1"));
    PhysicalButton(input, 3, false);
    Settle();
    EXPECT_TRUE(ProbeSaw("ButtonPress 1"));
    EXPECT_FALSE(ProbeSaw("ButtonPress 3"));
}

TEST_F(TapX11, OurOwnInputReachesTheWindowEvenWhenItIsAHotkey) {
    // Targets F7, F6 and A: F7 and F6 are the play and auto clicker hotkeys.
    keySpamTargetCount = 0;
    for (int vk : {118, 117, 65}) AppendKeySpamTarget(vk);
    keySpamIntervalMs = 5;
    keySpamRepeatMode = 0;
    keySpamRepeatTimes = 6;
    RaiseRequest(triggerKeySpamStart);
    ASSERT_TRUE(WaitUntil([&] { return ProbeCount(probe, "KeyRelease 38") >= 2; }));
    Settle();
    for (const char* line : {"KeyPress 73", "KeyPress 72", "KeyPress 38"})
        EXPECT_EQ(ProbeCount(probe, line), 2) << line;
    EXPECT_FALSE(isAutoClicking || isPlaying);

    // The auto clicker clicking its own hotkey button.
    vkAutoClicker = 2;
    autoClickerButtonIdx = 1;
    autoClickIntervalMs = 10;
    ASSERT_TRUE(OsTapSyncGrabs(5000));
    RaiseRequest(triggerAutoClickStart);
    ASSERT_TRUE(WaitUntil([&] { return ProbeCount(probe, "ButtonRelease 3") >= 5; }));
    RaiseRequest(triggerAutoClickStop);
    ASSERT_TRUE(WaitUntil([] { return !isAutoClicking.load(); }));
    Settle();
    EXPECT_TRUE(WaitUntil([&] {
        return ProbeCount(probe, "ButtonPress 3") == ProbeCount(probe, "ButtonRelease 3");
    }));
}

// The keys grabbed are exactly those the dispatch reads as the hotkey's VK.
TEST_F(TapX11, GrabsMatchTheKeysTheDispatchReads) {
    struct Case {
        int vk, keyCode;
        bool toggles;
    };
    const Case cases[] = {
        {16, kLeftShift, false},  // generic Shift: Left Shift reads as VK 160
        {160, kLeftShift, true},
        {13, kReturn, true},
        {13, kKeypadEnter, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vk " << c.vk << " key code " << c.keyCode);
        vkAutoClicker = c.vk;
        ASSERT_TRUE(OsTapSyncGrabs(5000));
        ClearProbe(probe);
        PhysicalTap(input, c.keyCode);
        const std::string press = "KeyPress " + std::to_string(c.keyCode);
        EXPECT_TRUE(c.toggles ? WaitUntil([] { return isAutoClicking.load(); })
                              : UntilProbeSaw(press));
        Settle();
        EXPECT_EQ(isAutoClicking.load(), c.toggles);
        EXPECT_EQ(ProbeSaw(press), !c.toggles);
        // Handled, not just raised: a stop still pending would be taken in one pass with the
        // next case's toggle, after it, and undo it.
        RaiseRequest(triggerAutoClickStop);
        ASSERT_TRUE(
            WaitUntil([] { return !triggerAutoClickStop.load() && !isAutoClicking.load(); }));
    }
}

// A hotkey another client holds when it is set is grabbed as soon as that client lets go.
TEST_F(TapX11, ARefusedGrabIsTriedAgain) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(GrabKeyOnRoot(other, kF5, true), 0);
    vkAutoClicker = 116;  // F5
    ASSERT_TRUE(OsTapSyncGrabs(5000));
    XCloseDisplay(other);  // its grab goes with it
    EXPECT_TRUE(WaitUntil([] { return KeyGrabbedByAnotherClient(kF5); }, 5000, 20));
    PhysicalTap(input, kF5);
    EXPECT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
    Settle();
    EXPECT_FALSE(ProbeSaw("KeyPress 71"));
}

// The tap reads recorded positions from the valuators and asks the server only now and then;
// moves and clicks are still where the server put the pointer, also right after our own move.
TEST_F(TapX11, RecordedPositionsAreTheServers) {
    StartRecording();
    std::string expected;
    const auto expect = [&](const std::string& what) {
        const auto [x, y] = ServerPointer();
        expected += (expected.empty() ? "" : " ") + what + "@" + std::to_string(x) + "," +
                    std::to_string(y);
    };
    for (int step = 0; step < 12; ++step) {
        if (step == 6) {
            OsMoveMouseTo(250, 200);
            OsInputSync();
        }
        PhysicalMoveBy(input, 3, -2);
        expect("abs");
    }
    PhysicalClick(input, 3);
    expect("btn8");
    expect("btn16");
    EXPECT_EQ(Recorded(14), expected);
}

}  // namespace
