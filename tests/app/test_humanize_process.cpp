// The real quillon, started with humanize settings in its appsettings.txt and a fixed seed,
// clicks into another program; an independent observer checks intervals, places and holds.
#include "tests/app/program_test.h"
#include "tests/support/probe.h"
#include "tests/support/xi2_observer.h"

#include <X11/extensions/XInput2.h>

#include <fstream>

namespace {

constexpr int kClicks = 1001;  // a thousand intervals
// Long enough that a busy machine's stalls of a few milliseconds stay small beside them.
constexpr double kIntervalMs = 40, kJitterMs = 15, kHoldMs = 15, kHoldJitterMs = 8;
constexpr int kLeft = 600, kTop = 100, kWidth = 200, kHeight = 150;

double ShareWithin(const std::vector<double>& values, double low, double high) {
    return double(std::count_if(values.begin(), values.end(),
                                [&](double v) { return v >= low && v <= high; })) /
           double(std::max<size_t>(values.size(), 1));
}

// Times are the X server's own, in whole milliseconds, and carry the scheduling of a busy
// machine: most values must lie inside the setting's range with a millisecond or two to spare,
// and some near both ends of it (which an even clicker never gives); the places are exact. The
// draws' mean is the engine's test.
TEST_F(Program, HumanizedClicksFollowTheSettings) {
    autoClickIntervalMs = int(kIntervalMs);
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = kClicks;
    autoClickLocationMode = 1;
    WriteSession();
    std::ofstream(Data("appsettings.txt"))
        << "clickJitter=15\nhold=15\nholdJitter=8\narea=1\nareaX=" << kLeft << "\nareaY=" << kTop
        << "\nareaWidth=" << kWidth << "\nareaHeight=" << kHeight << "\n";
    Xi2Observer observer;
    observer.withMotion = true;
    ASSERT_TRUE(StartObserver(observer));
    env.extra.emplace_back("QLN_HUMANIZE_SEED", "7");
    const pid_t child = Spawn();
    ASSERT_TRUE(WaitPage()) << Err();
    Probe probe;
    ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, kLeft - 50, kTop - 50, 400, 300));
    ASSERT_TRUE(WaitUntil([&] { return Command({"--start", "clicker"}).first == 0; }));
    const auto presses = [&] {
        return ObservedCount(observer, XI_RawButtonPress, observer.xtestPointerId);
    };
    ASSERT_TRUE(WaitUntil([&] { return presses() >= kClicks; }, 60000, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the budget ended it
    EXPECT_EQ(presses(), kClicks);

    std::vector<double> intervals, holds;
    int64_t pressAt = -1;
    bool quadrants[2][2] = {};
    int places = 0;
    for (const ObservedEvent& e : ObservedSnapshot(observer)) {
        if (e.sourceId != observer.xtestPointerId) continue;
        if (e.type == XI_RawMotion) {
            ++places;
            EXPECT_TRUE(e.x >= kLeft && e.x < kLeft + kWidth && e.y >= kTop && e.y < kTop + kHeight)
                << e.x << "," << e.y;
            quadrants[e.x >= kLeft + kWidth / 2][e.y >= kTop + kHeight / 2] = true;
        } else if (e.type == XI_RawButtonPress) {
            if (pressAt >= 0) intervals.push_back(double(e.serverMs - pressAt));
            pressAt = int64_t(e.serverMs);
        } else if (e.type == XI_RawButtonRelease && pressAt >= 0) {
            holds.push_back(double(e.serverMs - pressAt));
        }
    }
    EXPECT_GE(places, kClicks * 9 / 10);  // a move to where the pointer already is may not show
    EXPECT_TRUE(quadrants[0][0] && quadrants[0][1] && quadrants[1][0] && quadrants[1][1]);
    ASSERT_EQ(intervals.size(), size_t(kClicks - 1));
    ASSERT_EQ(holds.size(), size_t(kClicks));
    // A quarter of the jitter at each end of the band holds about a seventh of the draws, and
    // none when the spread is narrower than set.
    const struct {
        const std::vector<double>& values;
        double middle, jitter, spare, end;
    } bands[] = {{intervals, kIntervalMs, kJitterMs, 2, 4}, {holds, kHoldMs, kHoldJitterMs, 1, 2}};
    for (const auto& b : bands) {
        SCOPED_TRACE(b.middle);
        const double low = b.middle - b.jitter, high = b.middle + b.jitter;
        EXPECT_GE(ShareWithin(b.values, low - b.spare, high + b.spare), 0.9);
        EXPECT_GE(ShareWithin(b.values, 0, low + b.end), 0.05);
        EXPECT_GE(ShareWithin(b.values, high - b.end, 1e9), 0.05);
    }
    Quit(child);
    EXPECT_TRUE(ServerHeldButtons().empty());
    StopProbe(probe);
    StopObserver(observer);
}

}  // namespace
