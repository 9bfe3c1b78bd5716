#include "store/session_file.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>
#include <chrono>
#include <thread>

namespace {

using Session = StoreTest;

std::string StateText() {
    std::string text;
    EXPECT_TRUE(SessionStateToText(text, true));
    return text;
}

}  // namespace

// Lines longer than a piece the file reader reads at once, and a last line without a line feed,
// read from a file and from memory alike; a missing file and a folder in its place are refused.
TEST_F(Session, LongAndUnterminatedLinesAndNoFile) {
    const std::string head =
        "SETTINGS:0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,0,"
        "0,0,121\nCURRENT:1\nPROFILE:" +
        std::string(150000, 'n') + "\n0,1,2,3,0,0,0,0\nPROFILE:b\n";
    const std::string text = head + "0,1,2,3,0,0,0,1";
    WriteText(g_SessionStateFilePath, text);
    for (bool fromFile : {true, false}) {
        ResetToolStateForTest();
        EXPECT_TRUE(fromFile ? LoadSessionState() : LoadSessionStateFromText(text));
        EXPECT_TRUE(StateText() ==
                    head + "PROFILESETTINGS:0,0,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,32,0\n" +
                        text.substr(head.size()) + "\n")
            << "a state text of " << StateText().size() << " bytes";
    }
    unlink(g_SessionStateFilePath.c_str());
    EXPECT_FALSE(LoadSessionState());
    mkdir(g_SessionStateFilePath.c_str(), 0700);
    EXPECT_FALSE(LoadSessionState());
    rmdir(g_SessionStateFilePath.c_str());
}

// The periodic save gives up on a busy lock; the exit save waits and keeps the last event.
TEST_F(Session, AutosaveSkipsABusyLockWhileTheExitSaveWaits) {
    std::unique_lock<std::mutex> held(profileMutex);
    EXPECT_FALSE(SaveSessionState());
    EXPECT_EQ(Slurp(g_SessionStateFilePath), "");
    std::atomic<bool> saved{false};
    std::thread exitSave([&] { saved = SaveSessionStateAtExit(); });
    // Most likely the exit save waits for the lock by now; it must keep the event either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    profiles[0].events.push_back(UnifiedEvent{3, 9.5, 0, 0, 0, 66, true});
    held.unlock();
    exitSave.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(Slurp(g_SessionStateFilePath), StateText());
}

TEST_F(Session, SavesRacingWithRecordingStayConsistent) {
    std::atomic<bool> stop{false};
    std::thread recorder([&] {
        for (int i = 0; !stop && i < 50000; ++i) {
            std::lock_guard<std::mutex> lock(profileMutex);
            profiles[0].events.push_back(UnifiedEvent{0, i * 0.01, i, i});
        }
    });
    std::thread autosave([&] {
        for (int i = 0; i < 5; ++i) SaveSessionState();
    });
    for (int i = 0; i < 5; ++i) SaveSessionStateAtExit();
    autosave.join();
    stop = true;
    recorder.join();
    ASSERT_TRUE(LoadSessionState());
    const auto loaded = Profiles();
    ASSERT_EQ(loaded.size(), 1u);
    for (size_t i = 0; i < loaded[0].events.size(); ++i) {
        ASSERT_EQ(loaded[0].events[i].x, static_cast<int64_t>(i)) << "a prefix of the recording";
    }
}
