// The real quillon, started with humanize settings in its appsettings.txt and a fixed seed,
// clicks into another program; an independent observer checks intervals, places and holds.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/probe.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"

#include "state/tool_state.h"
#include "store/profiles.h"

#include <X11/extensions/XInput2.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr int kClicks = 1001;  // a thousand intervals
// Long enough that a busy machine's stalls of a few milliseconds stay small beside them.
constexpr double kIntervalMs = 40, kJitterMs = 15, kHoldMs = 15, kHoldJitterMs = 8;
constexpr int kLeft = 600, kTop = 100, kWidth = 200, kHeight = 150;

// Share of the values within [low, high].
double ShareWithin(const std::vector<double>& values, double low, double high) {
    const auto in = std::count_if(values.begin(), values.end(),
                                  [&](double v) { return v >= low && v <= high; });
    return values.empty() ? 0 : double(in) / double(values.size());
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

}  // namespace

// Times are the X server's own, in whole milliseconds, and carry the scheduling of a busy
// machine: each timing check asks for most values inside the setting's range with a millisecond
// or two to spare, and for values near both ends of it (which an even clicker never gives); the
// places are exact.
TEST(HumanizeProcess, IntervalsPlacesAndHoldsFollowTheSettings) {
    const fs::path dir = fs::temp_directory_path() / ("qln-humanize-" + std::to_string(getpid()));
    const fs::path data = dir / "data" / "Quillon";
    fs::remove_all(dir);
    fs::create_directories(data);
    fs::create_directories(dir / "run");
    fs::permissions(dir / "run", fs::perms::owner_all);

    ResetToolStateForTest();
    autoClickIntervalMs = int(kIntervalMs);
    autoClickRepeatMode = 0;
    autoClickRepeatTimes = kClicks;
    autoClickLocationMode = 1;
    g_SessionStateFilePath = (data / "session.dat").string();
    profiles = {MacroProfile{kDefaultProfileName, "", {}}};
    ASSERT_TRUE(SaveSessionStateAtExit());
    std::ofstream(data / "appsettings.txt")
        << "clickJitter=15\nhold=15\nholdJitter=8\narea=1\nareaX=" << kLeft << "\nareaY=" << kTop
        << "\nareaWidth=" << kWidth << "\nareaHeight=" << kHeight << "\n";

    Xi2Observer observer;
    observer.withMotion = true;
    ASSERT_TRUE(StartObserver(observer));
    const std::vector<std::pair<std::string, std::string>> vars = {
        {"XDG_RUNTIME_DIR", (dir / "run").string()}, {"QLN_HUMANIZE_SEED", "7"}};
    const pid_t child = SpawnProgram(QUILLON_BINARY, {}, ProgramEnv{dir.string(), vars});
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(data / "status.txt"); }, 30000, 50));
    Probe probe;
    ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, kLeft - 50, kTop - 50, 400, 300));
    const ProgramEnv client{(dir / "client").string(),
                            {{"XDG_RUNTIME_DIR", (dir / "run").string()}}};
    fs::create_directories(client.home);
    ASSERT_TRUE(WaitUntil([&] {
        return WaitProgramExit(SpawnProgram(QUILLON_BINARY, {"--start", "clicker"}, client)) == 0;
    }));

    const auto ours = [&] {
        std::vector<ObservedEvent> events;
        for (const ObservedEvent& e : ObservedSnapshot(observer)) {
            if (e.sourceId == observer.xtestPointerId) events.push_back(e);
        }
        return events;
    };
    const auto presses = [&] {
        const auto events = ours();
        return std::count_if(events.begin(), events.end(),
                             [](const ObservedEvent& e) { return e.type == XI_RawButtonPress; });
    };
    ASSERT_TRUE(WaitUntil([&] { return presses() >= kClicks; }, 60000, 100));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the budget ended it
    EXPECT_EQ(presses(), kClicks);

    std::vector<double> intervals, holds;
    int64_t pressAt = -1;
    bool quadrants[2][2] = {};
    int places = 0;
    for (const ObservedEvent& e : ours()) {
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
    // An interval longer than any draw is a stall of the machine, after which the clicker
    // starts its schedule afresh; the mean is that of the others.
    std::vector<double> unstalled;
    std::copy_if(intervals.begin(), intervals.end(), std::back_inserter(unstalled),
                 [](double ms) { return ms <= kIntervalMs + kJitterMs + 2; });
    EXPECT_GE(unstalled.size(), intervals.size() * 9 / 10);
    EXPECT_NEAR(Mean(unstalled), kIntervalMs, kIntervalMs * 0.02);
    EXPECT_GE(ShareWithin(intervals, kIntervalMs - kJitterMs - 2, kIntervalMs + kJitterMs + 2),
              0.9);
    // Both ends of the band are reached: a quarter of the jitter at each end holds about a
    // seventh of the draws, and none when the spread is narrower than set.
    EXPECT_GE(ShareWithin(intervals, 0, kIntervalMs - kJitterMs + 4), 0.05);
    EXPECT_GE(ShareWithin(intervals, kIntervalMs + kJitterMs - 4, 1e9), 0.05);

    ASSERT_EQ(holds.size(), size_t(kClicks));
    EXPECT_NEAR(Mean(holds), kHoldMs, kHoldMs * 0.1);
    EXPECT_GE(ShareWithin(holds, kHoldMs - kHoldJitterMs - 1, kHoldMs + kHoldJitterMs + 1), 0.9);
    EXPECT_GE(ShareWithin(holds, 0, kHoldMs - kHoldJitterMs + 2), 0.05);
    EXPECT_GE(ShareWithin(holds, kHoldMs + kHoldJitterMs - 2, 1e9), 0.05);

    kill(child, SIGTERM);
    EXPECT_EQ(WaitProgramExit(child), 0) << Slurp((dir / "err.txt").string());
    EXPECT_TRUE(ServerHeldButtons().empty());
    StopProbe(probe);
    StopObserver(observer);
    fs::remove_all(dir);
}
