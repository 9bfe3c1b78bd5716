#pragma once

// The real quillon started as a user starts it, with data, config and runtime folders of the
// test's own; a second quillon in another home is the command client.

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"

#include "state/tool_state.h"
#include "store/profiles.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

constexpr int kF6 = 72, kF7 = 73, kF8 = 74;

class Program : public testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        fs::remove_all(dir);
        for (const char* sub : {"data/Quillon", "client", "run"}) fs::create_directories(dir / sub);
        fs::permissions(dir / "run", fs::perms::owner_all);
        env = {
            dir.string(),
            {{"XDG_RUNTIME_DIR", (dir / "run").string()}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}};
    }
    void TearDown() override { fs::remove_all(dir); }

    pid_t Spawn(const std::vector<std::string>& args = {},
                const std::string& binary = QUILLON_BINARY) {
        return SpawnProgram(binary, args, env);
    }
    // quillon run as a command for the running one: its exit status and first line of output.
    std::pair<int, std::string> Command(const std::vector<std::string>& args) {
        const ProgramEnv client{(dir / "client").string(), {env.extra[0]}};
        const int status = WaitProgramExit(SpawnProgram(QUILLON_BINARY, args, client));
        const std::string out = Slurp((dir / "client/out.txt").string());
        return {status, out.substr(0, out.find('\n'))};
    }
    std::string StatusOf(const std::string& member) {
        const std::string status = Command({"--status"}).second;
        const size_t at = status.find("\"" + member + "\":");
        if (at == std::string::npos) return "";
        const size_t from = at + member.size() + 3;
        return status.substr(from, status.find_first_of(",}", from) - from);
    }
    std::string Err() const { return Slurp((dir / "err.txt").string()); }
    std::string Data(const std::string& name) const { return ProgramDataDir(env) + "/" + name; }
    void Quit(pid_t pid, int signal = SIGTERM) {
        kill(pid, signal);
        EXPECT_EQ(WaitProgramExit(pid), 0) << Err();
    }
    // The tap is live once it holds its grab of F6. Asking only a while after it named its
    // thread, and seldom, keeps the question's own short grab out of the way of the tap's,
    // which is refused while the question's is held and never retried.
    bool WaitForTap(pid_t pid) {
        const auto named = [pid] {
            std::error_code ec;  // a thread gone while listed is skipped
            for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end;
                 !ec && it != end; it.increment(ec)) {
                if (Slurp(it->path() / "comm") == "QLN input tap\n") return true;
            }
            return false;
        };
        if (!WaitUntil(named, 20000)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return WaitUntil([] { return KeyGrabbedByAnotherClient(kF6); }, 20000, 200);
    }
    bool WaitPage() const {
        return WaitUntil([&] { return fs::exists(Data("status.txt")); }, 30000, 50);
    }
    // The session file the program starts from, written by the program's own code: the tool
    // settings as they stand here, one default profile with the given recording.
    void WriteSession(const std::vector<UnifiedEvent>& recording = {}) {
        g_SessionStateFilePath = Data("session.dat");
        profiles = {MacroProfile{kDefaultProfileName, "", recording}};
        currentProfileIdx = 0;
        ASSERT_TRUE(SaveSessionStateAtExit());
    }

    const fs::path dir =
        fs::temp_directory_path() / ("qln-app-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    ProgramEnv env;
};
