#include "store/session_file.h"
#include "store/settings_lines.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>
#include <chrono>
#include <thread>

namespace {

using Ev = UnifiedEvent;
using Session = StoreTest;

// The settings lines as a first start writes them, and one with every field changed.
const std::string kDefaults =
    "SETTINGS:0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,0,0,0,"
    "121\n";
const std::string kProfileDefaults =
    "PROFILESETTINGS:0,0,0,5,0,0,1,10,0,0,0,0,0,0,5,1,10,32,32,0\n";
const std::string kEveryFieldLine =
    "1,2,3,4,2,1,0,77,1,-300,400,0,1,0,1,1,2.5,1,250,65,66,0,67,5,6,7,8,0,99,68,69,69|70|71,1,1,1,"
    "72";

std::string StateText() {
    std::string text;
    EXPECT_TRUE(SessionStateToText(text, true));
    return text;
}

}  // namespace

TEST_F(Session, SaveWritesTheLayoutAndLoadsItBack) {
    DeserializeSettings(kEveryFieldLine);
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}},
                 MacroProfile{"Game, one: two",
                              "1,2,3",
                              {Ev{0, 0, 10, 20}, Ev{3, 123.4567, 0, 0, 0, 65, true},
                               Ev{2, 0.125, -5, 7, 18446744073709551615ull, 255, true, -120}}},
                 MacroProfile{"b:c", "", {Ev{5, 1234.5678, 0, 0, 0, 1, true}}}},
                2);
    ASSERT_TRUE(SaveSessionState());
    const std::string saved = "SETTINGS:" + kEveryFieldLine +
                              "\nCURRENT:2\n"
                              "PROFILE:Default Tracking Profile\n"
                              "PROFILE:Game, one: two\n"
                              "PROFILESETTINGS:1,2,3\n"
                              "0,0,10,20,0,0,0,0\n"
                              "3,123.457,0,0,0,65,1,0\n"
                              "2,0.125,-5,7,18446744073709551615,255,1,-120\n"
                              "PROFILE:b:c\n"
                              "5,1234.57,0,0,0,1,1,0\n";
    EXPECT_EQ(Slurp(g_SessionStateFilePath), saved);
    // Times keep 6 significant digits; empty settings of the active profile are filled in.
    ResetToolStateForTest();
    ASSERT_TRUE(LoadSessionState());
    EXPECT_EQ(StateText(), saved.substr(0, saved.find("5,1234.57")) + "PROFILESETTINGS:" +
                               SerializeProfileSettings() + "\n5,1234.57,0,0,0,1,1,0\n");
}

// Lines longer than a piece the file reader reads at once, and a last line without a line feed,
// read from a file and from memory alike; a missing file and a folder in its place are refused.
TEST_F(Session, LongAndUnterminatedLinesAndNoFile) {
    const std::string name(150000, 'n');
    const std::string text =
        kDefaults + "CURRENT:1\nPROFILE:" + name + "\n0,1,2,3,0,0,0,0\nPROFILE:b\n0,1,2,3,0,0,0,1";
    WriteText(g_SessionStateFilePath, text);
    for (bool fromFile : {true, false}) {
        ResetToolStateForTest();
        EXPECT_TRUE(fromFile ? LoadSessionState() : LoadSessionStateFromText(text));
        EXPECT_TRUE(StateText() == kDefaults + "CURRENT:1\nPROFILE:" + name +
                                       "\n0,1,2,3,0,0,0,0\nPROFILE:b\n" + kProfileDefaults +
                                       "0,1,2,3,0,0,0,1\n")
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
    profiles[0].events.push_back(Ev{3, 9.5, 0, 0, 0, 66, true});
    held.unlock();
    exitSave.join();
    EXPECT_TRUE(saved);
    EXPECT_NE(Slurp(g_SessionStateFilePath).find("\n3,9.5,0,0,0,66,1,0\n"), std::string::npos);
}

TEST_F(Session, SavesRacingWithRecordingStayConsistent) {
    std::atomic<bool> stop{false};
    std::thread recorder([&] {
        for (int i = 0; !stop && i < 50000; ++i) {
            std::lock_guard<std::mutex> lock(profileMutex);
            profiles[0].events.push_back(Ev{0, i * 0.01, i, i});
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
