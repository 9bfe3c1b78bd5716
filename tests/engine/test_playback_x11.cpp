// Playback posting for real on a private X server: an independent observer sees what it
// replays and when, and the server says what is left held.
#include "engine/hotkeys.h"
#include "engine/playback.h"
#include "store/profiles.h"
#include "tests/engine/engine_x11.h"

#include <algorithm>
#include <limits>
#include <sstream>

namespace {

std::atomic<long> g_StallBeforeEvent{-1};
constexpr int64_t kStallMs = 300;

}  // namespace

// The engine's test seam: stalls the engine once before the chosen event.
void QlnPlaybackStallSeam(size_t eventIndex) {
    if (static_cast<long>(eventIndex) != g_StallBeforeEvent.load()) return;
    g_StallBeforeEvent = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStallMs));
}

namespace {

constexpr int kA = 65, kB = 66;

class PlaybackX11 : public EngineX11 {
protected:
    static void Record(std::vector<UnifiedEvent> events) {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles[0].events = std::move(events);
    }
    void Play() {
        ClearObserved(observer);
        RaiseRequest(triggerPlayStart);
        ASSERT_TRUE(WaitUntil([] { return isPlaying.load(); }));
    }
    static bool NothingHeld() { return ServerHeldButtons().empty() && ServerHeldKeys().empty(); }
};

TEST(PlaybackSchedule, SpeedsAndTimesThatCannotBePlayedAsTheyStand) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, double> speeds[] = {{1, 1},     {2, 2},     {0.5f, 0.5}, {0, 1},
                                               {-3, 1},    {nan, 1},   {inf, 1},    {-inf, 1},
                                               {100, 100}, {1e9f, 100}};
    for (const auto& [stored, used] : speeds) EXPECT_EQ(PlaybackSpeedFrom(stored), used) << stored;
    EXPECT_EQ(PlaybackOffsetNs(1.5, 1), 1500 * kMs);
    EXPECT_EQ(PlaybackOffsetNs(1.5, 2), 750 * kMs);
    for (const double time : {-1.0, 0.0, std::nan("")}) EXPECT_EQ(PlaybackOffsetNs(time, 1), 0);
    EXPECT_EQ(PlaybackOffsetNs(1e300, 1), int64_t(365.0 * 86400.0 * 1e9));
}

// Every kind of event, at its time divided by the speed; clicks of an absolute recording
// happen where they were recorded, those of a relative one wherever the steps led.
TEST_F(PlaybackX11, ReplaysEveryKindOfEventOnItsSchedule) {
    struct Run {
        double speed;
        std::vector<UnifiedEvent> events;
        std::string posted;  // what each recorded event posts, between bars
    };
    const std::vector<UnifiedEvent> absolute = {
        Move(0.00, 100, 100),
        Button(0.02, kMouseLeftDown, 100, 100),
        Button(0.04, kMouseLeftUp, 100, 100),
        Button(0.06, kMouseRightDown, 150, 120),
        Button(0.07, kMouseRightUp, 150, 120),
        Button(0.08, kMouseMiddleDown, 150, 120),
        Button(0.09, kMouseMiddleUp, 150, 120),
        Button(0.10, kMouseSideDown, 150, 120),
        Wheel(0.12, 240),
        Wheel(0.14, -120),
        Key(0.16, kA, true),
        Key(0.18, kA, false),
    };
    const char* absolutePosted =
        "M100,100|1+|1-|M150,120 3+|3-|2+|2-|8+ 8-|4+ 4- 4+ 4-|5+ 5-|A+|A-";
    const std::vector<UnifiedEvent> relative = {
        Move(0.00, 10, 5, true), Button(0.02, kMouseLeftDown, 400, 400),
        Button(0.03, kMouseLeftUp, 400, 400), Move(0.05, -3, 2, true)};
    const Run runs[] = {{1, absolute, absolutePosted},
                        {2, absolute, absolutePosted},
                        {1, relative, "M10,5|1+|1-|M-3,2"}};
    for (const Run& run : runs) {
        SCOPED_TRACE(testing::Message() << "speed " << run.speed << ": " << run.posted);
        fPlaybackSpeed = float(run.speed);
        Record(run.events);
        OsMoveMouseTo(0, 0);
        OsInputSync();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Play();
        ASSERT_TRUE(WaitUntil([] { return !isPlaying.load(); }));
        OsInputSync();
        std::string trace = run.posted;
        std::replace(trace.begin(), trace.end(), '|', ' ');
        ASSERT_TRUE(WaitUntil([&] { return Trace().size() >= trace.size(); }));
        EXPECT_EQ(Trace(), trace);
        // Each recorded event's first posting against its schedule, in the server's own times
        // (the observer may be late): none is early, and none later than ten milliseconds, ten
        // times what is normal, after the start that fits best.
        const auto posted = Posted();
        std::istringstream groups(run.posted);
        std::vector<std::pair<double, std::string>> offsets;  // posted less scheduled, in ms
        size_t next = 0;
        for (const UnifiedEvent& event : run.events) {
            std::string group;
            if (!std::getline(groups, group, '|') || next >= posted.size()) break;
            offsets.emplace_back(double(posted[next].serverMs) - event.time / run.speed * 1000,
                                 group);
            next += size_t(std::count(group.begin(), group.end(), ' ')) + 1;
        }
        const double start = std::min_element(offsets.begin(), offsets.end())->first;
        for (const auto& [offset, group] : offsets) EXPECT_LE(offset - start, 10.0) << group;
    }
}

// Every way of stopping releases what the playback pressed and nothing else; meanwhile the
// profiles stay as they are. Looping waits its interval between passes.
TEST_F(PlaybackX11, LoopsAndEveryStopReleasesWhatItPressed) {
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.push_back(MacroProfile{"Second", "", {Key(0, kB, true)}});
    }
    Record({Key(0.0, kA, true), Button(0.01, kMouseLeftDown, 30, 30)});
    bLoopSequence = true;
    iLoopIntervalMs = 150;
    const std::vector<std::pair<const char*, std::function<void()>>> stops = {
        {"play stop", [] { RaiseRequest(triggerPlayStop); }},
        {"play toggle", [] { RaiseRequest(triggerPlay); }},
        {"hotkey lock",
         [] {
             g_HotkeyLockEnabled = true;
             g_HotkeysUnlocked = true;
             HandleHotkeyDown(vkUnlock);
         }},
        {"quit",
         [] {
             StopToolsForExit();
             WakeAndJoinWorkers();
             g_AppRunning = true;
             StartToolThreads();
         }},
    };
    for (const auto& [name, stop] : stops) {
        SCOPED_TRACE(name);
        Play();
        const auto aPresses = [&] {
            const auto posted = Posted();
            return std::count_if(posted.begin(), posted.end(),
                                 [](const auto& event) { return event.text == "A+"; });
        };
        ASSERT_TRUE(WaitUntil([&] { return aPresses() >= 2; }));
        const auto posted = Posted();
        EXPECT_GE(long(posted.back().serverMs - posted.front().serverMs), 150);
        BindSwitchProfile("\"1\"");
        BindDeleteProfile();
        BindClearProfile();
        BindAddProfile("\"Third\"");
        {
            std::lock_guard<std::mutex> lock(profileMutex);
            EXPECT_EQ(currentProfileIdx, 0);
            EXPECT_EQ(profiles.size(), 2u);
            EXPECT_EQ(profiles[0].events.size(), 2u);
        }
        EXPECT_FALSE(NothingHeld());
        stop();
        EXPECT_TRUE(WaitUntil([] { return !isPlaying.load() && NothingHeld(); }));
        g_HotkeyLockEnabled = false;
    }
}

// A recording that is not looped ends by itself, releasing what it left down, and stops the
// tools when that is asked for; one without events ends at once, looped or not.
TEST_F(PlaybackX11, TheEndOfTheRecordingStopsPlaybackAndTheTools) {
    autoClickerButtonIdx = 3;  // ticks without clicking
    struct Run {
        std::vector<UnifiedEvent> events;
        bool loop, stopTools, clickerAfter;
    };
    const Run runs[] = {
        {{}, true, true, false},
        {{Key(0, kA, true)}, false, true, false},
        {{Key(0, kA, true)}, false, false, true},
        // Tool switches replay as starts and stops of the tool.
        {{Tool(0, kToolAutoClicker, false), Tool(0.05, kToolAutoClicker, true)},
         false,
         false,
         true},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(testing::Message()
                     << run.events.size() << " events, stop tools " << run.stopTools);
        RaiseRequest(triggerAutoClickStart);
        ASSERT_TRUE(WaitUntil([] { return isAutoClicking.load(); }));
        Record(run.events);
        bLoopSequence = run.loop;
        g_StopToolsWithMacro = run.stopTools;
        RaiseRequest(triggerPlayStart);
        EXPECT_TRUE(
            WaitUntil([] { return !triggerPlayStart && !isPlaying.load() && NothingHeld(); }));
        EXPECT_TRUE(WaitUntil([&] { return isAutoClicking.load() == run.clickerAfter; }));
        // Handled before the next row's start: one pass takes a start before a stop.
        RaiseRequest(triggerAutoClickStop);
        ASSERT_TRUE(WaitUntil([] { return !triggerAutoClickStop && !isAutoClicking.load(); }));
    }
}

// A stall moves the rest of the schedule back: the events after it keep their spacing instead
// of coming all at once to catch up. The server's own times tell, as the observer may be late.
TEST_F(PlaybackX11, AStallIsFollowedByTheRestOfTheScheduleNotABurst) {
    std::vector<UnifiedEvent> events;
    for (int i = 0; i < 20; ++i) events.push_back(Key(i * 0.02, kA, i % 2 == 0));
    Record(events);
    g_StallBeforeEvent = 10;
    Play();
    ASSERT_TRUE(WaitUntil([] { return !isPlaying.load(); }));
    ASSERT_TRUE(WaitUntil([&] { return Posted().size() == 20; }));
    const auto posted = Posted();
    EXPECT_GE(long(posted[10].serverMs - posted[9].serverMs), kStallMs);
    for (size_t i = 11; i < posted.size(); ++i) {
        EXPECT_GE(long(posted[i].serverMs - posted[i - 1].serverMs), 10) << i;
    }
}

}  // namespace
