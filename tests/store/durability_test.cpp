// Saves never leave a broken or half-written file: killed processes, a full disk, a file-size
// limit and a read-only data folder all keep the last good file.

#include "platform/linux/shell_files.h"
#include "platform/shell.h"
#include "store/session_file.h"
#include "store/status.h"
#include "tests/store/store_env.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <filesystem>
#include <random>

namespace {

using Durability = StoreTest;

// Two states different in every part of both files; many events make a save take a while.
void InstallState(bool second, int64_t events) {
    std::vector<UnifiedEvent> recorded;
    for (int64_t n = 0; n < events; ++n) {
        recorded.push_back(UnifiedEvent{static_cast<int32_t>(n % 6), n * (second ? 0.003 : 0.007),
                                        n, -n, 0, second ? 66 : 65});
    }
    autoClickIntervalMs = second ? 42 : 24;
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}},
                 MacroProfile{second ? "second" : "first", "", recorded}},
                second ? 1 : 0);
    g_SeenWarningIds = second ? std::set<std::string>{"one", "two"} : std::set<std::string>{"zero"};
    g_SavedWindowX = second ? 1000 : -5;
    g_AlwaysOnTop = second;
}

}  // namespace

// A child process saves the session and the settings in the two states in turn and reports
// every finished round; it is killed at a random moment of a later one. Each file must then
// hold exactly one of its two texts.
TEST_F(Durability, KilledSavesLeaveTheOldOrTheNewFile) {
    std::string texts[2][2];
    int64_t roundNs = 0;
    for (bool second : {true, false}) {
        InstallState(second, 20000);
        const int64_t start = SteadyNowNs();
        ASSERT_TRUE(SaveSessionStateAtExit() && SaveAppSettings());
        roundNs = std::max(roundNs, SteadyNowNs() - start);
        texts[second][0] = Slurp(g_SessionStateFilePath);
        texts[second][1] = Slurp(GetAppSettingsFilePath());
    }
    ASSERT_TRUE(texts[0][0] != texts[1][0] && texts[0][1] != texts[1][1]);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int64_t> delayUs(0, roundNs / 500);
    for (int round = 0; round < 60; ++round) {
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            for (bool second = true;; second = !second) {
                InstallState(second, 20000);
                SaveSessionStateAtExit();
                SaveAppSettings();
                if (write(report[1], "r", 1) != 1) _exit(1);
            }
        }
        close(report[1]);
        char finished = 0;
        ASSERT_EQ(read(report[0], &finished, 1), 1);
        usleep(static_cast<useconds_t>(delayUs(random)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(report[0]);
        for (int file : {0, 1}) {
            const std::string text =
                Slurp(file == 0 ? g_SessionStateFilePath : GetAppSettingsFilePath());
            ASSERT_TRUE(text == texts[0][file] || text == texts[1][file])
                << "round " << round << ", file " << file << ": " << text.size() << " bytes";
        }
    }
}

// A full disk and then a read-only one: every save fails, reports it and leaves the old files.
TEST_F(Durability, FailedSavesKeepTheOldFiles) {
    if (mount("tmpfs", OsDataDir().c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    struct Unmount {
        ~Unmount() { umount2(OsDataDir().c_str(), MNT_DETACH); }
    } unmount;
    g_SessionStateFilePath = OsDataDir() + "/session.dat";
    InstallState(false, 10);
    ASSERT_TRUE(SaveSessionState() && SaveAppSettings() && SaveTrackerStatusToFile("{}"));
    const std::string session = Slurp(g_SessionStateFilePath);
    const std::string settings = Slurp(GetAppSettingsFilePath());
    const auto expectOldFiles = [&] {
        EXPECT_EQ(Slurp(g_SessionStateFilePath), session);
        EXPECT_EQ(Slurp(GetAppSettingsFilePath()), settings);
        EXPECT_EQ(Slurp(GetTrackerStatusFilePath()), "{}");
        EXPECT_FALSE(std::filesystem::exists(g_SessionStateFilePath + ".tmp"))
            << "temporary removed";
    };
    InstallState(true, 20000);  // about 300 kB of text
    EXPECT_FALSE(SaveSessionStateAtExit());
    EXPECT_FALSE(SaveTrackerStatusToFile(std::string(100000, 'x')));
    expectOldFiles();

    ASSERT_EQ(mount("tmpfs", OsDataDir().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    InstallState(true, 50);
    EXPECT_FALSE(SaveSessionStateAtExit());
    BindSetAppSetting("[\"startMinimized\",\"1\"]");
    BindMarkWarningSeen("[\"w\"]");
    EXPECT_TRUE(g_StartMinimized) << "the change stays in memory";
    EXPECT_FALSE(SaveTrackerStatusToFile("{\"state\":\"Recording\"}"));
    expectOldFiles();
    EXPECT_TRUE(LoadSessionState());
}

// The login entry starts the program by its quoted path, is rewritten only when that changes,
// and goes;
// outside a bundle the running program is not registered.
TEST_F(Durability, AutostartEntryIsWrittenOnceAndRemoved) {
    const std::string entry = OsAutostartEntryPath("app.quillon.free");
    EXPECT_EQ(entry, kTestHome + "/config/autostart/app.quillon.free.desktop");
    const auto inode = [&entry] {
        struct stat st = {};
        return stat(entry.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const std::string exe = "/opt/My Apps/quillon 100%/bin/quillon\"x";
    ASSERT_TRUE(OsWriteAutostartEntry(entry, exe, true));
    const ino_t written = inode();
    EXPECT_TRUE(Slurp(entry).starts_with("[Desktop Entry]\n"));
    EXPECT_NE(Slurp(entry).find("\nExec=\"/opt/My Apps/quillon 100%%/bin/quillon\\\\\"x\"\n"),
              std::string::npos)
        << Slurp(entry);
    ASSERT_TRUE(OsWriteAutostartEntry(entry, exe, true) && inode() == written);
    ASSERT_TRUE(OsWriteAutostartEntry(entry, "/usr/bin/quillon", true));
    EXPECT_NE(Slurp(entry).find("\nExec=\"/usr/bin/quillon\"\n"), std::string::npos);
    EXPECT_TRUE(OsWriteAutostartEntry(entry, exe, false) && inode() == 0);
    PlatformApplyLaunchOnStartup(true);
    EXPECT_EQ(inode(), 0u);
}
