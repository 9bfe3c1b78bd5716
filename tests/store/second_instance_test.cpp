// A second start while one instance runs hands over to the first and leaves every file alone.

#include "platform/linux/shell_files.h"
#include "platform/shell.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

pid_t StartQuillon() {
    const pid_t pid = fork();
    if (pid == 0) {
        execl(QLN_QUILLON_BINARY, QLN_QUILLON_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Exit status, or -1 when the process has not ended within the time.
int WaitExitWithin(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

struct FileState {
    std::string text;
    ino_t inode = 0;
    struct timespec modified = {};
};

FileState StateOf(const std::string& path) {
    FileState state;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        state.inode = st.st_ino;
        state.modified = st.st_mtim;
    }
    state.text = Slurp(path);
    return state;
}

void ExpectSame(const FileState& before, const FileState& after, const char* what) {
    EXPECT_EQ(before.text, after.text) << what;
    EXPECT_EQ(before.inode, after.inode) << what;
    EXPECT_EQ(before.modified.tv_sec, after.modified.tv_sec) << what;
    EXPECT_EQ(before.modified.tv_nsec, after.modified.tv_nsec) << what;
}

}  // namespace

TEST(SecondInstance, ActivatesTheFirstAndExitsWithoutTouchingFiles) {
    const std::string session = OsDataDir() + "/session.dat";
    const std::string settings = OsDataDir() + "/appsettings.txt";
    WriteText(session,
              "SETTINGS:0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,"
              "32,32,0,0,0,121\nCURRENT:0\nPROFILE:Default Tracking Profile\n0,0,1,2,0,0,0,0\n");
    WriteText(settings, "showWarnings=0\n");

    const pid_t first = StartQuillon();
    for (int i = 0; i < 500 && OsInstanceLockHolderPid() != first; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(OsInstanceLockHolderPid(), first) << "the first instance took the lock";
    // Held still, the first instance cannot write while the second runs.
    kill(first, SIGSTOP);
    const FileState sessionBefore = StateOf(session);
    const FileState settingsBefore = StateOf(settings);

    const pid_t second = StartQuillon();
    EXPECT_EQ(WaitExitWithin(second, std::chrono::seconds(20)), 0);
    ExpectSame(sessionBefore, StateOf(session), "session.dat");
    ExpectSame(settingsBefore, StateOf(settings), "appsettings.txt");

    kill(first, SIGCONT);
    kill(first, SIGTERM);
    EXPECT_EQ(WaitExitWithin(first, std::chrono::seconds(20)), 0);
    // The exit save of the first instance keeps its recording.
    EXPECT_NE(Slurp(session).find("\n0,0,1,2,0,0,0,0\n"), std::string::npos);
}
