// Saves never leave a broken or half-written file: killed processes, a full disk, a file-size
// limit and a read-only data folder all keep the last good file.

#include "platform/files.h"
#include "platform/linux/shell_files.h"
#include "platform/shell.h"
#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "store/status.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <random>

namespace {

pid_t StartHelper(const std::vector<std::string>& args, int stdoutFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (stdoutFd >= 0) dup2(stdoutFd, 1);
        std::string helper = QLN_SAVE_LOOP_HELPER;
        std::vector<char*> argv = {helper.data()};
        std::vector<std::string> copies = args;
        for (auto& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Kills a helper saving two states in turn at random moments; every time, the target file must
// be exactly one of the two, and both must be seen.
void KillDuringSaves(const std::string& kind, const std::string& statesPath,
                     const std::string& target, int rounds) {
    const int64_t start = SteadyNowNs();
    ASSERT_EQ(WaitExit(StartHelper({kind + "-expect", statesPath})), 0);
    // How long the helper took to start and save both states once.
    const int64_t spanUs = (SteadyNowNs() - start) / 1000;
    const std::string a = Slurp(statesPath + ".a");
    const std::string b = Slurp(statesPath + ".b");
    ASSERT_FALSE(a.empty());
    ASSERT_NE(a, b);
    WriteText(target, a);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int64_t> delayUs(0, spanUs * 3 / 2);
    int sawA = 0;
    int sawB = 0;
    for (int i = 0; i < rounds; ++i) {
        const pid_t pid = StartHelper({kind + "-loop", statesPath});
        usleep(static_cast<useconds_t>(delayUs(random)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string text = Slurp(target);
        sawA += text == a;
        sawB += text == b;
        ASSERT_TRUE(text == a || text == b) << "round " << i << ": " << text.size() << " bytes";
    }
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
}

class Durability : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        ResetAppSettingsForTest();
    }
    void TearDown() override {
        ResetAppSettingsForTest();
        ResetToolStateForTest();
    }
};

// Mounts a small tmpfs over a folder for the life of the object.
struct TmpfsMount {
    std::string dir;
    bool mounted = false;
    TmpfsMount(const std::string& where, const char* options) : dir(where) {
        mkdir(dir.c_str(), 0700);
        mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
    }
    bool RemountReadOnly() {
        return mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    ~TmpfsMount() {
        if (mounted) umount2(dir.c_str(), MNT_DETACH);
    }
};

void InstallBigSession(int events) {
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles = {MacroProfile{kDefaultProfileName, "", {}}};
    profiles[0].events.resize(static_cast<size_t>(events));
    currentProfileIdx = 0;
}

}  // namespace

TEST_F(Durability, KilledSavesLeaveTheOldOrTheNewFile) {
    const std::string session = TestHome() + "/killed-session.dat";
    KillDuringSaves("session", session, session, 150);
    g_SessionStateFilePath = session;
    EXPECT_TRUE(LoadSessionState());
    KillDuringSaves("settings", TestHome() + "/killed-settings", GetAppSettingsFilePath(), 100);
    EXPECT_TRUE(LoadAppSettings());
    unlink(GetAppSettingsFilePath().c_str());
}

TEST_F(Durability, AFullDiskKeepsTheOldFiles) {
    TmpfsMount disk(TestHome() + "/small-disk", "size=64k");
    if (!disk.mounted) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    const std::string path = disk.dir + "/session.dat";
    InstallBigSession(10);
    ASSERT_TRUE(SaveSessionStateTo(path, true));
    const std::string old = Slurp(path);
    InstallBigSession(20000);  // about 300 kB of text
    EXPECT_FALSE(SaveSessionStateTo(path, true));
    EXPECT_EQ(Slurp(path), old);
    struct stat st;
    EXPECT_NE(stat((path + ".tmp").c_str(), &st), 0) << "the temporary file is removed";
    // The same for the whole-file writer used by the settings and the status.
    const std::string small = disk.dir + "/status.txt";
    ASSERT_TRUE(OsWriteFileAtomic(small, "{\"state\":\"Idle\"}"));
    EXPECT_FALSE(OsWriteFileAtomic(small, std::string(100000, 'x')));
    EXPECT_EQ(Slurp(small), "{\"state\":\"Idle\"}");
}

TEST_F(Durability, AFileSizeLimitKeepsTheOldFile) {
    const std::string path = TestHome() + "/limited-session.dat";
    InstallBigSession(10);
    ASSERT_TRUE(SaveSessionStateTo(path, true));
    const std::string old = Slurp(path);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
        InstallBigSession(20000);
        _exit(SaveSessionStateTo(path, true) ? 1 : 0);
    }
    EXPECT_EQ(WaitExit(pid), 0) << "the save reports failure";
    EXPECT_EQ(Slurp(path), old);
}

TEST_F(Durability, AReadOnlyDataFolderChangesNothing) {
    TmpfsMount data(OsDataDir(), "size=1m,mode=0700");
    if (!data.mounted) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    g_SessionStateFilePath = OsDataDir() + "/session.dat";
    InstallBigSession(3);
    ASSERT_TRUE(SaveSessionState());
    ASSERT_TRUE(SaveAppSettings());
    ASSERT_TRUE(SaveTrackerStatusToFile("{}"));
    const std::string session = Slurp(g_SessionStateFilePath);
    const std::string settings = Slurp(GetAppSettingsFilePath());
    ASSERT_TRUE(data.RemountReadOnly());
    InstallBigSession(50);
    EXPECT_FALSE(SaveSessionState());
    EXPECT_FALSE(SaveSessionStateAtExit());
    BindSetAppSetting("[\"startMinimized\",\"1\"]");
    BindMarkWarningSeen("[\"w\"]");
    EXPECT_TRUE(g_StartMinimized) << "the change stays in memory";
    EXPECT_FALSE(SaveTrackerStatusToFile("{\"state\":\"Recording\"}"));
    EXPECT_EQ(Slurp(g_SessionStateFilePath), session);
    EXPECT_EQ(Slurp(GetAppSettingsFilePath()), settings);
    EXPECT_EQ(Slurp(GetTrackerStatusFilePath()), "{}");
    EXPECT_TRUE(LoadSessionState());
}

TEST_F(Durability, InstanceLockIsHeldOncePerDataFolder) {
    ASSERT_TRUE(OsAcquireSingleInstanceLock());
    EXPECT_TRUE(OsAcquireSingleInstanceLock()) << "held already";
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = StartHelper({"lock"}, pipeFds[1]);
    close(pipeFds[1]);
    char buffer[128] = {};
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    EXPECT_EQ(WaitExit(pid), 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buffer), "acquired=0 holder=" + std::to_string(getpid()) + "\n");
}

TEST_F(Durability, AutostartEntryIsWrittenOnceAndRemoved) {
    const std::string entry = OsAutostartEntryPath("app.quillon.free");
    EXPECT_EQ(entry, TestHome() + "/config/autostart/app.quillon.free.desktop");
    const std::string exe = "/opt/My Apps/quillon 100%/bin/quillon\"x";
    ASSERT_TRUE(OsWriteAutostartEntry(entry, exe, true));
    const std::string text = Slurp(entry);
    EXPECT_NE(text.find("\nExec=\"/opt/My Apps/quillon 100%%/bin/quillon\\\\\"x\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    struct stat first;
    struct stat second;
    ASSERT_EQ(stat(entry.c_str(), &first), 0);
    ASSERT_TRUE(OsWriteAutostartEntry(entry, exe, true));
    ASSERT_EQ(stat(entry.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino) << "an equal entry is not rewritten";
    ASSERT_TRUE(OsWriteAutostartEntry(entry, "/usr/bin/quillon", true));
    EXPECT_NE(Slurp(entry).find("\nExec=\"/usr/bin/quillon\"\n"), std::string::npos);
    EXPECT_TRUE(OsWriteAutostartEntry(entry, exe, false));
    EXPECT_NE(stat(entry.c_str(), &second), 0);
    EXPECT_TRUE(OsWriteAutostartEntry(entry, exe, false)) << "absent already";
    // Outside a bundle the running program is not registered.
    PlatformApplyLaunchOnStartup(true);
    EXPECT_NE(stat(entry.c_str(), &second), 0);
    EXPECT_EQ(OsBundleIdentifierFromExe("/nonexistent/bin/quillon"), "");
}
