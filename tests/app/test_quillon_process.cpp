// The real quillon process: command line, start-up threads and the end on SIGTERM.
#include <gtest/gtest.h>

#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    fs::path out, err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class QuillonProcess : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qln-proc-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
    }
    void TearDown() override { fs::remove_all(dir); }

    Child Spawn(std::vector<std::string> args, bool withDisplay = true) {
        Child child{-1, dir / "out.txt", dir / "err.txt"};
        child.pid = fork();
        if (child.pid == 0) {
            const int out = open(child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
            if (!withDisplay) unsetenv("DISPLAY");
            std::vector<char*> argv{const_cast<char*>(QUILLON_BINARY)};
            for (auto& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(QUILLON_BINARY, argv.data());
            _exit(127);
        }
        return child;
    }

    // Exit status, or -1 when it did not end within the limit (it is then killed).
    static int WaitExit(pid_t pid, int timeoutMs = 20000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }

    // Thread names of a process in creation order.
    static std::vector<std::string> ThreadNames(pid_t pid) {
        std::vector<std::pair<long, std::string>> threads;
        const fs::path task = fs::path("/proc") / std::to_string(pid) / "task";
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(task, ec)) {
            std::string name = ReadAll(entry.path() / "comm");
            if (!name.empty() && name.back() == '\n') name.pop_back();
            threads.emplace_back(std::stol(entry.path().filename().string()), name);
        }
        std::sort(threads.begin(), threads.end());
        std::vector<std::string> names;
        for (auto& thread : threads) names.push_back(thread.second);
        return names;
    }

    // The tap is live once it holds its grab of F6.
    static bool WaitForTap() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!KeyGrabbedByAnotherClient(72)) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    fs::path dir;
};

TEST_F(QuillonProcess, WithoutADisplayItSaysSoInOneLineAndExitsOne) {
    Child child = Spawn({}, false);
    EXPECT_EQ(WaitExit(child.pid), 1);
    const std::string err = ReadAll(child.err);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("X display"), std::string::npos) << err;
}

TEST_F(QuillonProcess, ChildModeEndsAtOnce) {
    Child child = Spawn({"--child", "--update-manifest=x"});
    EXPECT_EQ(WaitExit(child.pid), 0);
    EXPECT_EQ(ReadAll(child.out), "");
}

TEST_F(QuillonProcess, SelfTestRunsBeforeAnythingElseAndPrintsAVerdict) {
    // No display and no data directory needed: it ends before any other start-up step.
    Child child =
        Spawn({"--update-manifest=a", "--selftest-update=" + (dir / "none.txt").string()}, false);
    const int status = WaitExit(child.pid);
    const std::string out = ReadAll(child.out);
    ASSERT_TRUE(status == 0 || status == 1) << status;
    const std::string verdict =
        status == 0 ? "SELFTEST-UPDATE: ALL PASS\n" : "SELFTEST-UPDATE: FAILURES ABOVE\n";
    ASSERT_GE(out.size(), verdict.size());
    EXPECT_EQ(out.substr(out.size() - verdict.size()), verdict);
    EXPECT_FALSE(fs::exists(dir / "data" / "Quillon" / "instance.lock"));
}

TEST_F(QuillonProcess, StartsItsWorkersInOrderAndEndsOnSigterm) {
    Child child = Spawn({});
    // Threads name themselves once running.
    std::vector<std::string> names;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        names = ThreadNames(child.pid);
        const auto named = [&](const char* name) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        if (named("QLN autoclicker") && named("QLN key spammer") && named("QLN signals") &&
            named("QLN input tap")) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(names.size(), 6u) << ReadAll(child.err);
    const std::vector<std::string> workers(names.begin() + 1, names.begin() + 4);
    EXPECT_EQ(workers,
              (std::vector<std::string>{"QLN autoclicker", "QLN key spammer", "QLN signals"}));

    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitExit(child.pid), 0) << ReadAll(child.err);

    Child second = Spawn({});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(second.pid, SIGINT);
    EXPECT_EQ(WaitExit(second.pid), 0) << ReadAll(second.err);
}

TEST_F(QuillonProcess, F6FromAnotherApplicationTogglesClickingAndNeverReachesIt) {
    Probe probe;
    ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, 0, 0, 600, 400));
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    PhysicalMoveTo(input, 300, 200);
    Xi2Observer observer;
    ASSERT_TRUE(StartObserver(observer));

    Child child = Spawn({});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto names = ThreadNames(child.pid);
    while (std::find(names.begin(), names.end(), "QLN input tap") == names.end() &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        names = ThreadNames(child.pid);
    }
    ASSERT_NE(std::find(names.begin(), names.end(), "QLN input tap"), names.end());
    ASSERT_TRUE(WaitForTap());

    const auto clicks = [&] {
        size_t count = 0;
        for (const auto& e : ObservedSnapshot(observer)) {
            if (e.type == 15 /* XI_RawButtonPress */ && e.sourceId == observer.xtestPointerId) {
                ++count;
            }
        }
        return count;
    };
    PhysicalTap(input, 72);  // F6
    const auto clickUntil = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (clicks() < 20 && std::chrono::steady_clock::now() < clickUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(clicks(), 20u);
    PhysicalTap(input, 72);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const size_t afterStop = clicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(clicks(), afterStop);

    // The window had the focus throughout and saw none of it but our clicks.
    for (const auto& line : ProbeLines(probe))
        EXPECT_EQ(line.rfind("Key", 0), std::string::npos) << line;

    // Quitting while clicking leaves no button held.
    PhysicalTap(input, 72);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitExit(child.pid), 0) << ReadAll(child.err);
    EXPECT_TRUE(ServerHeldButtons().empty());

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
        Child child = Spawn({});
        ASSERT_TRUE(WaitForTap()) << ReadAll(child.err);
        if (clicking) {
            PhysicalInput* input = OpenPhysicalInput();
            ASSERT_NE(input, nullptr);
            PhysicalTap(input, 72);
            ClosePhysicalInput(input);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        StopPrivateXvfb(doomed);
        setenv("DISPLAY", mainDisplay.c_str(), 1);
        // Within a second normally; ten times that before calling it hung.
        EXPECT_EQ(WaitExit(child.pid, 10000), 1) << ReadAll(child.err);
        EXPECT_NE(ReadAll(child.err).find("display went away"), std::string::npos);
        EXPECT_TRUE(fs::exists(dir / "data" / "Quillon" / "session.dat"));
    }
    // The lock is free: a new start on a live display runs instead of handing over.
    Child next = Spawn({});
    ASSERT_TRUE(WaitForTap()) << ReadAll(next.err);
    kill(next.pid, SIGTERM);
    EXPECT_EQ(WaitExit(next.pid), 0) << ReadAll(next.err);
}

}  // namespace
