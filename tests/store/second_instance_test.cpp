// A second start while one instance runs hands over to the first and leaves every file alone.

#include "platform/linux/shell_files.h"
#include "platform/shell.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>
#include <sys/wait.h>
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

// Exit status; a process that never ends runs into the test's own time limit.
int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The text, the inode and the modification time: a rewrite with the same text shows too.
std::string Fingerprint(const std::string& path) {
    struct stat st = {};
    stat(path.c_str(), &st);
    return Slurp(path) + "|" + std::to_string(st.st_ino) + "|" + std::to_string(st.st_mtim.tv_sec) +
           "." + std::to_string(st.st_mtim.tv_nsec);
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
    for (int i = 0; i < 3000 && OsInstanceLockHolderPid() != first; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(OsInstanceLockHolderPid(), first) << "the first instance took the lock";
    // Held still, the first instance cannot write while the second runs.
    kill(first, SIGSTOP);
    const std::string sessionBefore = Fingerprint(session);
    const std::string settingsBefore = Fingerprint(settings);
    EXPECT_EQ(WaitExit(StartQuillon()), 0);
    EXPECT_EQ(Fingerprint(session), sessionBefore);
    EXPECT_EQ(Fingerprint(settings), settingsBefore);

    kill(first, SIGCONT);
    kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first), 0);
    // The exit save of the first instance keeps its recording.
    EXPECT_NE(Slurp(session).find("\n0,0,1,2,0,0,0,0\n"), std::string::npos);
}
