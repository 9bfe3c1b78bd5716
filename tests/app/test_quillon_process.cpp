// The real quillon process: command line, start-up threads, a hotkey pressed in another
// program, and its end on a signal or when the display goes away.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr int kF6 = 72;

class QuillonProcess : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the program with its own data folder; its output goes to out.txt and err.txt.
    pid_t Spawn(std::vector<std::string> args, bool withDisplay = true) {
        ProgramEnv env{dir.string(), {}};
        if (!withDisplay) env.extra.emplace_back("DISPLAY", "");
        return SpawnProgram(QUILLON_BINARY, args, env);
    }
    std::string Out() const { return (dir / "out.txt").string(); }
    std::string Err() const { return (dir / "err.txt").string(); }
    static int WaitExit(pid_t pid, int timeoutMs = 20000) {
        return WaitProgramExit(pid, timeoutMs);
    }

    // Thread names of a process in creation order.
    static std::vector<std::string> ThreadNames(pid_t pid) {
        std::vector<std::pair<long, std::string>> threads;
        std::error_code ec;
        // Threads come and go while they are listed; a gone one is skipped.
        for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end;
             !ec && it != end; it.increment(ec)) {
            const std::string name = Slurp(it->path() / "comm");
            if (!name.empty()) {
                threads.emplace_back(std::stol(it->path().filename()),
                                     name.substr(0, name.find('\n')));
            }
        }
        std::sort(threads.begin(), threads.end());
        std::vector<std::string> names;
        for (auto& thread : threads) names.push_back(thread.second);
        return names;
    }

    // The tap is live once it holds its grab of F6. It names its thread just before it grabs;
    // asking only a while after that, and seldom, keeps the question's own short grab out of
    // the way of the tap's, which is refused while the question's is held and never retried.
    static bool WaitForTap(pid_t pid) {
        if (!WaitUntil([&] { return HasThread(pid, "QLN input tap"); }, 20000)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return WaitUntil([] { return KeyGrabbedByAnotherClient(kF6); }, 20000, 200);
    }
    static bool HasThread(pid_t pid, const std::string& name) {
        const auto names = ThreadNames(pid);
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    const fs::path dir =
        fs::temp_directory_path() / ("qln-proc-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(QuillonProcess, ChildModeEndsAtOnceAndWithoutADisplayItSaysSo) {
    EXPECT_EQ(WaitExit(Spawn({"--child", "--update-manifest=x"})), 0);
    EXPECT_EQ(Slurp(Out()), "");

    EXPECT_EQ(WaitExit(Spawn({}, false)), 1);
    const std::string err = Slurp(Err());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("X display"), std::string::npos) << err;
}

// F6 pressed while another program has the focus toggles clicking and never reaches it; the
// workers start in their order; SIGTERM and SIGINT end the program, leaving no button held.
TEST_F(QuillonProcess, RunsItsWorkersTakesItsHotkeyAndEndsOnASignal) {
    Probe probe;
    ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, 0, 0, 600, 400));
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    PhysicalMoveTo(input, 300, 200);
    Xi2Observer observer;
    ASSERT_TRUE(StartObserver(observer));

    const pid_t child = Spawn({});
    // Threads name themselves once running; the tap starts after the workers.
    EXPECT_TRUE(WaitForTap(child)) << Slurp(Err());
    EXPECT_TRUE(WaitUntil([&] {
        return HasThread(child, "QLN autoclicker") && HasThread(child, "QLN key spammer") &&
               HasThread(child, "QLN signals") && HasThread(child, "QLN playback");
    }));
    // The web engine's libraries start threads of their own, even before main; ours keep their
    // order among themselves.
    std::vector<std::string> ours;
    for (const auto& name : ThreadNames(child)) {
        if (name.rfind("QLN ", 0) == 0) ours.push_back(name);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"QLN autoclicker", "QLN key spammer", "QLN signals",
                                              "QLN playback", "QLN input tap"}));

    const auto clicks = [&] {
        const auto events = ObservedSnapshot(observer);
        return std::count_if(events.begin(), events.end(), [&](const ObservedEvent& e) {
            return e.type == 15 /* XI_RawButtonPress */ && e.sourceId == observer.xtestPointerId;
        });
    };
    PhysicalTap(input, kF6);
    EXPECT_TRUE(WaitUntil([&] { return clicks() >= 20; }, 10000));
    PhysicalTap(input, kF6);
    // Stopped: no click for 200 ms, forty intervals, however long the stop took to arrive.
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto before = clicks();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return clicks() == before;
        },
        10000));
    for (const auto& line : ProbeLines(probe)) EXPECT_NE(line.rfind("Key", 0), 0u) << line;

    PhysicalTap(input, kF6);  // quitting while clicking
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(child, SIGTERM);
    EXPECT_EQ(WaitExit(child), 0) << Slurp(Err());
    EXPECT_TRUE(ServerHeldButtons().empty());

    const pid_t second = Spawn({});
    EXPECT_TRUE(WaitForTap(second));
    kill(second, SIGINT);
    EXPECT_EQ(WaitExit(second), 0) << Slurp(Err());
    StopObserver(observer);
    ClosePhysicalInput(input);
    StopProbe(probe);
}

// The display going away ends the program with status 1, the session saved and the instance
// lock free; idle, and while clicking (worker threads busy on the dead connection).
TEST_F(QuillonProcess, LosingTheDisplayEndsItAndFreesTheLock) {
    const std::string mainDisplay = getenv("DISPLAY");
    for (const bool clicking : {false, true}) {
        SCOPED_TRACE(clicking ? "clicking" : "idle");
        PrivateXvfb doomed;
        ASSERT_TRUE(StartPrivateXvfb(doomed));  // points DISPLAY at it
        // Expectations only from here on: the doomed server must always be stopped.
        const pid_t child = Spawn({});
        EXPECT_TRUE(WaitForTap(child)) << Slurp(Err());
        // Running with its page up: the web engine's own start-up does not survive losing the
        // display halfway.
        EXPECT_TRUE(WaitUntil([&] { return fs::exists(dir / "data" / "Quillon" / "status.txt"); },
                              30000, 50));
        if (clicking) {
            PhysicalInput* input = OpenPhysicalInput();
            EXPECT_NE(input, nullptr);
            if (input) PhysicalTap(input, kF6);
            ClosePhysicalInput(input);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        StopPrivateXvfb(doomed);
        setenv("DISPLAY", mainDisplay.c_str(), 1);
        // Within a second normally; ten times that before calling it hung.
        EXPECT_EQ(WaitExit(child, 10000), 1) << Slurp(Err());
        EXPECT_NE(Slurp(Err()).find("display went away"), std::string::npos);
        EXPECT_TRUE(fs::exists(dir / "data" / "Quillon" / "session.dat"));
    }
    // The lock is free: a new start on a live display runs instead of handing over.
    const pid_t next = Spawn({});
    EXPECT_TRUE(WaitForTap(next)) << Slurp(Err());
    kill(next, SIGTERM);
    EXPECT_EQ(WaitExit(next), 0) << Slurp(Err());
}

}  // namespace
