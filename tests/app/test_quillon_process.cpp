// The real quillon process: command line, start-up threads, a hotkey pressed in another
// program, and its end on a signal or when the display goes away.
#include <gtest/gtest.h>

#include "tests/support/events.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/probe.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"
#include "tests/support/xvfb.h"

#include "state/tool_state.h"
#include "store/profiles.h"

#include <X11/extensions/XInput2.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

constexpr int kF6 = 72, kF7 = 73, kF8 = 74;
constexpr int kKeyA = 38, kKeyB = 56;
constexpr int64_t kMs = 1000000;

class QuillonProcess : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
        fs::create_directories(dir / "client");
        fs::create_directories(dir / "run");
        fs::permissions(dir / "run", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts the program with its own data folder; its output goes to out.txt and err.txt.
    pid_t Spawn(std::vector<std::string> args, bool withDisplay = true) {
        ProgramEnv env{dir.string(), {{"XDG_RUNTIME_DIR", (dir / "run").string()}}};
        if (!withDisplay) env.extra.emplace_back("DISPLAY", "");
        return SpawnProgram(QUILLON_BINARY, args, env);
    }
    // quillon run as a command for the running one: its exit status and first line of output.
    std::pair<int, std::string> Command(std::vector<std::string> args) {
        const ProgramEnv env{(dir / "client").string(),
                             {{"XDG_RUNTIME_DIR", (dir / "run").string()}}};
        const int status = WaitProgramExit(SpawnProgram(QUILLON_BINARY, args, env));
        const std::string out = Slurp((dir / "client" / "out.txt").string());
        return {status, out.substr(0, out.find('\n'))};
    }
    std::string StatusOf(const std::string& member) {
        const std::string status = Command({"--status"}).second;
        const size_t at = status.find("\"" + member + "\":");
        if (at == std::string::npos) return "";
        const size_t from = at + member.size() + 3;
        return status.substr(from, status.find_first_of(",}", from) - from);
    }
    std::string Out() const { return (dir / "out.txt").string(); }
    std::string Err() const { return (dir / "err.txt").string(); }

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
        const auto named = [pid] {
            const auto names = ThreadNames(pid);
            return std::find(names.begin(), names.end(), "QLN input tap") != names.end();
        };
        if (!WaitUntil(named, 20000)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return WaitUntil([] { return KeyGrabbedByAnotherClient(kF6); }, 20000, 200);
    }

    const fs::path dir =
        fs::temp_directory_path() / ("qln-proc-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(QuillonProcess, ChildModeEndsAtOnceAndWithoutADisplayItSaysSo) {
    EXPECT_EQ(WaitProgramExit(Spawn({"--child", "--update-manifest=x"})), 0);
    EXPECT_EQ(Slurp(Out()), "");
    // Help and version need no display and leave the data folder alone.
    const std::pair<const char*, std::vector<std::string>> printed[] = {
        {"--help",
         {"--toggle TOOL", "F6 auto clicker", "~/.local/share/Quillon", "Exit status",
          "beginning with \"--\" are ignored"}},
        {"--version", {"Quillon 1.0.1\ncommit "}},
    };
    for (const auto& [option, pieces] : printed) {
        EXPECT_EQ(WaitProgramExit(Spawn({option}, false)), 0) << option;
        for (const std::string& piece : pieces) {
            EXPECT_NE(Slurp(Out()).find(piece), std::string::npos) << option << ": " << piece;
        }
    }
    EXPECT_TRUE(fs::is_empty(dir / "data"));

    EXPECT_EQ(WaitProgramExit(Spawn({}, false)), 1);
    const std::string err = Slurp(Err());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("X display"), std::string::npos) << err;
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
        fs::remove(dir / "data" / "Quillon" / "status.txt");  // this start's page writes it anew
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
        EXPECT_EQ(WaitProgramExit(child, 10000), 1) << Slurp(Err());
        EXPECT_NE(Slurp(Err()).find("display went away"), std::string::npos);
        EXPECT_TRUE(fs::exists(dir / "data" / "Quillon" / "session.dat"));
    }
    // The lock is free: a new start on a live display runs instead of handing over.
    const pid_t next = Spawn({});
    EXPECT_TRUE(WaitForTap(next)) << Slurp(Err());
    kill(next, SIGTERM);
    EXPECT_EQ(WaitProgramExit(next), 0) << Slurp(Err());
}

// The session file the program starts from, written by the program's own code in this process:
// the tool settings as they stand here, one default profile with the given recording.
void WriteSession(const fs::path& dataDir, const std::vector<UnifiedEvent>& recording) {
    fs::create_directories(dataDir);
    g_SessionStateFilePath = (dataDir / "session.dat").string();
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles = {MacroProfile{kDefaultProfileName, "", recording}};
        currentProfileIdx = 0;
    }
    ASSERT_TRUE(SaveSessionStateAtExit());
}

std::vector<UnifiedEvent> ReadRecording(const fs::path& dataDir) {
    g_SessionStateFilePath = (dataDir / "session.dat").string();
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.clear();
    }
    EXPECT_TRUE(LoadSessionState());
    std::lock_guard<std::mutex> lock(profileMutex);
    return profiles.empty() ? std::vector<UnifiedEvent>{} : profiles[0].events;
}

// One observed event as text ("M600,400", "B1+", "K38-") with its time of arrival.
struct Seen {
    std::string text;
    int64_t stampNs;
};

std::vector<Seen> SeenFrom(Xi2Observer& observer, const std::vector<int>& sources,
                           const std::set<std::string>& skipped) {
    std::vector<Seen> seen;
    for (const ObservedEvent& e : ObservedSnapshot(observer)) {
        if (std::find(sources.begin(), sources.end(), e.sourceId) == sources.end()) continue;
        std::string text;
        if (e.type == XI_RawMotion) {
            text = "M" + std::to_string(std::lround(e.x)) + "," + std::to_string(std::lround(e.y));
        } else {
            const bool key = e.type == XI_RawKeyPress || e.type == XI_RawKeyRelease;
            const bool press = e.type == XI_RawKeyPress || e.type == XI_RawButtonPress;
            text = (key ? "K" : "B") + std::to_string(e.detail) + (press ? "+" : "-");
        }
        if (!skipped.count(text)) seen.push_back({text, e.stampNs});
    }
    return seen;
}

std::string Joined(const std::vector<Seen>& seen) {
    std::string out;
    for (const Seen& s : seen) out += (out.empty() ? "" : " ") + s.text;
    return out;
}

// Playback against the recording as the program saved it: each event at its recorded time. Normally
// within a millisecond; a busy machine can make one late, so the bound is ten times that, and
// one click (its press and release) may be later still, but never by the 50 ms after which the
// engine shifts its schedule (the benchmark measures the real figure).
void ExpectOnSchedule(const std::vector<Seen>& played, const std::vector<UnifiedEvent>& recording) {
    std::vector<double> times;
    for (const UnifiedEvent& e : recording) {
        if (e.type != kEventToolSwitch) times.push_back(e.time);
    }
    ASSERT_EQ(played.size(), times.size());
    int late = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        const double wanted = (times[i] - times[0]) * 1e9;
        const double errorMs =
            std::abs(double(played[i].stampNs - played[0].stampNs) - wanted) / kMs;
        EXPECT_LT(errorMs, 50.0) << played[i].text;
        if (errorMs >= 10.0) ++late;
    }
    EXPECT_LE(late, 2);
}

// A user records moves, clicks, keys and the auto clicker switched on and off (the server's
// own mouse has no wheel; the engine's test replays one), then plays it back into another
// program: an independent observer sees the same events in the same order and at the same
// relative times. The clicker's own clicks (the middle button) come only while the recording
// had it on.
TEST_F(QuillonProcess, PlaysBackWhatTheUserRecorded) {
    const fs::path data = dir / "data" / "Quillon";
    ResetToolStateForTest();
    autoClickerButtonIdx = 2;
    autoClickIntervalMs = 20;
    WriteSession(data, {});

    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    Xi2Observer observer;
    observer.withMotion = true;
    ASSERT_TRUE(StartObserver(observer));
    const int keyboard = PhysicalKeyboardId(input);
    const std::vector<int> user = {keyboard, PhysicalPointerId(input)};
    const std::vector<int> ours = {observer.xtestPointerId, observer.xtestKeyboardId};
    const std::set<std::string> hotkeys = {"K72+", "K72-", "K73+", "K73-", "K74+", "K74-"};
    const std::set<std::string> clicker = {"B2+", "B2-"};

    const pid_t child = Spawn({});
    ASSERT_TRUE(WaitForTap(child)) << Slurp(Err());
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(data / "status.txt"); }, 30000, 50));
    Probe probe;
    ASSERT_TRUE(StartProbe(probe, QLN_PROBE_WINDOW, 500, 300, 500, 400));
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(40)); };

    PhysicalTap(input, kF8);
    pause();
    ClearObserved(observer);
    PhysicalMoveTo(input, 600, 400);
    pause();
    PhysicalClick(input, 1);
    pause();
    PhysicalMoveTo(input, 650, 420);
    pause();
    PhysicalClick(input, 3);
    pause();
    PhysicalTap(input, kKeyA);
    pause();
    PhysicalTap(input, kF6);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    PhysicalTap(input, kF6);
    pause();
    PhysicalTap(input, kKeyB);
    pause();
    const std::vector<Seen> recorded = SeenFrom(observer, user, hotkeys);
    PhysicalTap(input, kF8);
    pause();

    ClearProbe(probe);
    ClearObserved(observer);
    PhysicalTap(input, kF7);
    EXPECT_TRUE(WaitUntil(
        [&] { return SeenFrom(observer, ours, clicker).size() >= recorded.size(); }, 10000));
    const std::vector<Seen> played = SeenFrom(observer, ours, clicker);
    EXPECT_EQ(Joined(played), Joined(recorded));
    // The clicker ran between the keys A and B, as it did while recording.
    const auto all = SeenFrom(observer, ours, {});
    const auto at = [&](const std::string& text) {
        return size_t(
            std::find_if(all.begin(), all.end(), [&](const Seen& s) { return s.text == text; }) -
            all.begin());
    };
    size_t clicks = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].text != "B2+") continue;
        ++clicks;
        EXPECT_GT(i, at("K38-"));
        EXPECT_LT(i, at("K56+"));
    }
    EXPECT_GE(clicks, 1u);
    // The other program got the keys.
    EXPECT_TRUE(WaitUntil([&] {
        return ProbeCount(probe, "KeyPress 38") == 1 && ProbeCount(probe, "KeyPress 56") == 1;
    }));
    EXPECT_TRUE(ServerHeldButtons().empty());

    // Quitting keeps the recording, which played on its schedule (speeds are the engine's test).
    kill(child, SIGTERM);
    ASSERT_EQ(WaitProgramExit(child), 0) << Slurp(Err());
    const std::vector<UnifiedEvent> kept = ReadRecording(data);
    EXPECT_EQ(kept.size(), recorded.size() + 2);  // and the two tool switches
    ExpectOnSchedule(played, kept);
    StopProbe(probe);
    StopObserver(observer);
    ClosePhysicalInput(input);
}

// In hold mode the clicker runs while its hotkey is down and stops when it comes up.
TEST_F(QuillonProcess, HoldModeClicksOnlyWhileTheHotkeyIsDown) {
    ResetToolStateForTest();
    autoClickIntervalMs = 10;
    g_HoldModeAuto = true;
    WriteSession(dir / "data" / "Quillon", {});
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    Xi2Observer observer;
    ASSERT_TRUE(StartObserver(observer));
    const pid_t child = Spawn({});
    ASSERT_TRUE(WaitForTap(child)) << Slurp(Err());
    const auto clicks = [&] {
        return ObservedCount(observer, XI_RawButtonPress, observer.xtestPointerId);
    };
    PhysicalKey(input, kF6, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PhysicalKey(input, kF6, false);
    // About thirty; a busy machine clicks fewer, never many more.
    EXPECT_TRUE(WaitUntil([&] { return clicks() >= 3; }));
    const auto atRelease = clicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(clicks() - atRelease, 2);
    EXPECT_LE(clicks(), 35);
    kill(child, SIGTERM);
    EXPECT_EQ(WaitProgramExit(child), 0) << Slurp(Err());
    StopObserver(observer);
    ClosePhysicalInput(input);
}

// Other programs drive every tool through the control socket as the hotkeys do; the status
// answers follow; a refused command and a missing instance have exit statuses of their own.
TEST_F(QuillonProcess, CommandsFromOtherProgramsDriveEveryTool) {
    ResetToolStateForTest();
    autoClickIntervalMs = 20;
    WriteSession(dir / "data" / "Quillon", {Key(0, 65, true), Key(30, 65, false)});
    Xi2Observer observer;
    ASSERT_TRUE(StartObserver(observer));
    const pid_t child = Spawn({});
    ASSERT_TRUE(WaitForTap(child)) << Slurp(Err());
    const auto posted = [&](int type) {
        return ObservedCount(observer, type, observer.xtestPointerId) +
               ObservedCount(observer, type, observer.xtestKeyboardId);
    };
    struct Tool {
        const char* name;
        const char* member;
        const char* running;
        int postedType;  // what the observer sees while it runs; 0 for nothing
    };
    const Tool tools[] = {
        {"clicker", "autoClicking", "true", XI_RawButtonPress},
        {"keyspam", "keySpamming", "true", XI_RawKeyPress},
        {"play", "state", "\"Playing\"", XI_RawKeyPress},
        {"record", "state", "\"Recording\"", 0},  // a fresh recording: last
    };
    for (const Tool& tool : tools) {
        SCOPED_TRACE(tool.name);
        const std::string idle = StatusOf(tool.member);
        const auto before = tool.postedType ? posted(tool.postedType) : 0;
        EXPECT_EQ(Command({"--toggle", tool.name}), std::make_pair(0, std::string("ok")));
        EXPECT_TRUE(WaitUntil([&] { return StatusOf(tool.member) == tool.running; }, 5000, 20));
        if (tool.postedType) {
            EXPECT_TRUE(WaitUntil([&] { return posted(tool.postedType) > before; }));
        }
        EXPECT_EQ(Command({"--stop", tool.name}).first, 0);
        EXPECT_TRUE(WaitUntil([&] { return StatusOf(tool.member) == idle; }, 5000, 20));
    }
    EXPECT_EQ(Command({"--profile", "7"}).first, 1);
    EXPECT_EQ(Command({"--profile", "0"}), std::make_pair(0, std::string("ok")));
    EXPECT_EQ(Command({"--start"}).first, 1);
    kill(child, SIGTERM);
    EXPECT_EQ(WaitProgramExit(child), 0) << Slurp(Err());
    EXPECT_EQ(Command({"--status"}).first, 2);
    StopObserver(observer);
}

// Garbage, an endless line, a thousand silent connections, a client that never reads and a
// peer of another user: none of them stops the hotkeys or the commands. A socket left by a
// killed instance is taken over at the next start; a live one is never taken.
TEST_F(QuillonProcess, TheControlSocketWithstandsMisuseAndOutlivesAKill) {
    pid_t child = Spawn({});
    ASSERT_TRUE(WaitForTap(child)) << Slurp(Err());
    // The workers start in their order, the tap last; the web engine's libraries start threads
    // of their own, even before main.
    std::vector<std::string> ours;
    for (const auto& name : ThreadNames(child)) {
        if (name.rfind("QLN ", 0) == 0) ours.push_back(name);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"QLN autoclicker", "QLN key spammer", "QLN signals",
                                              "QLN playback", "QLN control", "QLN input tap"}));
    const std::string path = (dir / "run" / "quillon" / "control").string();
    const auto connectTo = [&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        return connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                   ? fd
                   : (close(fd), -1);
    };
    const auto answerTo = [](int fd, const std::string& text) {
        if (write(fd, text.data(), text.size()) < 0) return std::string("unsent");
        std::string got;
        char buffer[256];
        ssize_t n;
        while (got.find('\n') == std::string::npos && (n = read(fd, buffer, sizeof buffer)) > 0) {
            got.append(buffer, size_t(n));
        }
        return got;
    };
    int fd = connectTo();
    EXPECT_EQ(answerTo(fd, "hello\n"), "error unknown command\n");
    close(fd);
    fd = connectTo();
    EXPECT_EQ(answerTo(fd, std::string(1 << 20, 'x')), "error request too long\n");
    close(fd);
    std::vector<int> silent;
    for (int i = 0; i < 1000; ++i) silent.push_back(connectTo());
    const int greedy = connectTo();
    std::string requests;
    for (int i = 0; i < 20000; ++i) requests += "status\n";
    EXPECT_EQ(send(greedy, requests.data(), requests.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0,
              true);
    // Another user's peer is turned away, even when the file system would let it in.
    if (geteuid() == 0) {
        fs::permissions(dir / "run", fs::perms::all);
        fs::permissions(dir / "run" / "quillon", fs::perms::all);
        fs::permissions(path, fs::perms::all);
        const pid_t other = fork();
        if (other == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
            const int peer = connectTo();
            _exit(peer >= 0 && answerTo(peer, "status\n").empty() ? 0 : 4);
        }
        EXPECT_EQ(WaitProgramExit(other), 0);
    }
    EXPECT_EQ(Command({"--status"}).first, 0);
    PhysicalInput* input = OpenPhysicalInput();
    ASSERT_NE(input, nullptr);
    PhysicalTap(input, kF6);
    EXPECT_TRUE(WaitUntil([&] { return StatusOf("autoClicking") == "true"; }, 5000, 20));
    PhysicalTap(input, kF6);
    ClosePhysicalInput(input);
    for (int s : silent) close(s);
    close(greedy);

    kill(child, SIGKILL);
    WaitProgramExit(child);
    ASSERT_TRUE(fs::exists(path));  // left behind
    child = Spawn({});
    ASSERT_TRUE(WaitForTap(child)) << Slurp(Err());
    EXPECT_EQ(Command({"--status"}).first, 0);
    // A second start hands over to the running one and leaves its socket answering.
    EXPECT_EQ(WaitProgramExit(Spawn({})), 0);
    EXPECT_EQ(Command({"--status"}).first, 0);
    kill(child, SIGTERM);
    EXPECT_EQ(WaitProgramExit(child), 0);
}

}  // namespace
