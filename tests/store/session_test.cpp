#include "store/event_lines.h"
#include "store/session_file.h"
#include "store/settings_lines.h"
#include "tests/store/store_env.h"

#include <sys/stat.h>
#include <chrono>
#include <thread>

namespace {

using Ev = UnifiedEvent;
using Session = StoreTest;

const std::string kDefaults = "SETTINGS:" + std::string(kDefaultFullLine) + "\n";
const std::string kProfileDefaults = "PROFILESETTINGS:" + std::string(kDefaultProfileLine) + "\n";

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
    const std::string saved = "SETTINGS:" + std::string(kEveryFieldLine) +
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

// Each text is read from a file and from memory, from the same starting state; both give the
// same result and leave the same state.
TEST_F(Session, LoaderToleranceWithTheFileAndTextReadersAlike) {
    const std::string longName(150000, 'n');
    const std::string start = kDefaults + "CURRENT:1\nPROFILE:keep\nPROFILE:keep too\n";
    const std::string started = start + kProfileDefaults;
    const std::string picksFirst =
        kDefaults + "CURRENT:0\nPROFILE:p0\n" + kProfileDefaults + "PROFILE:p1\n";
    const struct {
        std::string text;
        bool read;
        std::string state;
    } cases[] = {
        // No profile: the settings are read, the profiles stay.
        {"SETTINGS:0,0,0,9,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117\nCURRENT:0\n", false,
         "SETTINGS:0,0,0,9,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,"
         "0,0,0,121\nCURRENT:1\nPROFILE:keep\nPROFILE:keep too\n" +
             kProfileDefaults},
        // A bad first line changes nothing at all.
        {"\nSETTINGS:1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\nPROFILE:x\n", false, started},
        // A current index out of range or not a number picks the first profile.
        {kDefaults + "CURRENT:5\nPROFILE:p0\nPROFILE:p1\n", true, picksFirst},
        {kDefaults + "CURRENT:x\nPROFILE:p0\nPROFILE:p1\n", true, picksFirst},
        // Without a current line the second line's profile is lost with its events. Bad event
        // lines are dropped alone, a ninth field is ignored, any non-zero down is pressed, and a
        // last line without a line feed is read.
        {kDefaults + "PROFILE:lost\n0,1,2,3,0,0,0,0\nPROFILE:kept\n\n0,0x1p1,2,3,0,0,0,0\n"
                     "1,2,3,4,0,0,0\n1,2,3,4,0,0,0,\n1,2,3,4,0,0,0,x\n1,2,3,4,0,99999999999,0,0\n"
                     "0,1e-310,2,3,0,0,0,0\nbogus\n1,2,3,4,5,6,7,8,9\n0,1,2,3,0,0,0,0",
         true,
         kDefaults + "CURRENT:0\nPROFILE:kept\n" + kProfileDefaults +
             "0,2,2,3,0,0,0,0\n1,2,3,4,5,6,1,8\n0,1,2,3,0,0,0,0\n"},
        // Lines longer than a piece the file reader reads at once.
        {kDefaults + "CURRENT:1\nPROFILE:" + longName + "\n0,1,2,3,0,0,0,0\nPROFILE:b\n1,2,3", true,
         kDefaults + "CURRENT:1\nPROFILE:" + longName + "\n0,1,2,3,0,0,0,0\nPROFILE:b\n" +
             kProfileDefaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 100));
        WriteText(g_SessionStateFilePath, c.text);
        for (bool fromFile : {true, false}) {
            ResetToolStateForTest();
            ASSERT_TRUE(LoadSessionStateFromText(start));
            EXPECT_EQ(fromFile ? LoadSessionState() : LoadSessionStateFromText(c.text), c.read);
            EXPECT_EQ(StateText(), c.state) << (fromFile ? "file" : "text");
        }
    }
    // A missing file and a folder in its place.
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

TEST_F(Session, DefaultProfileRepairAndSnapshot) {
    SetProfiles({MacroProfile{"A", "", {}}, MacroProfile{"B", "", {}}}, 1);
    EnsureDefaultProfileExists();
    EnsureDefaultProfileExists();
    EXPECT_EQ(StateText(), kDefaults +
                               "CURRENT:2\nPROFILE:Default Tracking Profile\nPROFILE:A\n"
                               "PROFILE:B\n");
    keySpamChordMode = true;
    SnapshotActiveProfileSettings();
    EXPECT_EQ(Profiles()[2].settings, SerializeProfileSettings());
    EXPECT_EQ(Profiles()[1].settings, "");
    SetProfiles({});
    SnapshotActiveProfileSettings();  // no profile: nothing, no crash
    EnsureDefaultProfileExists();
    EXPECT_EQ(StateText().substr(kDefaults.size()),
              "CURRENT:0\nPROFILE:Default Tracking Profile\n");
}

// The active index, the auto clicker interval, and each profile's name and number of events.
std::string Brief() {
    std::string out = std::to_string(currentProfileIdx) + " " + std::to_string(autoClickIntervalMs);
    for (const MacroProfile& p : Profiles())
        out += " " + p.name + ":" + std::to_string(p.events.size());
    return out;
}

TEST_F(Session, ProfileBindings) {
    SetProfiles({MacroProfile{kDefaultProfileName, "", {Ev{}}}});
    autoClickIntervalMs = 77;
    // Empty names and names with a line feed, which would break the file, are refused; three
    // profiles at most; a new profile keeps the live settings.
    for (const char* name : {"[\"Game\"]", "[\"\"]", "[\"x\ny\"]", "[\"a\\nb\"]", "[\"fourth\"]"}) {
        BindAddProfile(name);
    }
    EXPECT_EQ(BindGetProfiles(),
              "{\"current\":2,\"names\":[\"Default Tracking Profile\",\"Game\",\"a\\\\nb\"],"
              "\"cap\":3,\"defaultName\":\"Default Tracking Profile\"}");
    EXPECT_EQ(Profiles()[1].settings, SerializeProfileSettings());
    // Switching applies the stored settings, where empty ones mean the defaults; bad indexes
    // change nothing.
    BindSwitchProfile("[0]");
    EXPECT_EQ(Brief(), "0 5 Default Tracking Profile:1 Game:0 a\\nb:0");
    for (const char* index : {"[\"1\"]", "[7]", "[\"x\"]"}) BindSwitchProfile(index);
    EXPECT_EQ(Brief(), "1 77 Default Tracking Profile:1 Game:0 a\\nb:0");
    // Deleting the last profile makes the new last one active; deleting the default one clears it.
    BindSwitchProfile("[2]");
    BindDeleteProfile();
    EXPECT_EQ(Brief(), "1 77 Default Tracking Profile:1 Game:0");
    BindSwitchProfile("[0]");
    autoClickIntervalMs = 99;
    BindDeleteProfile();
    EXPECT_EQ(Brief(), "0 5 Default Tracking Profile:0 Game:0");
    EXPECT_EQ(Profiles()[0].settings, SerializeProfileSettings());
    // Nothing changes while recording.
    isRecording = true;
    SetProfiles({MacroProfile{kDefaultProfileName, "", {Ev{}}}, MacroProfile{"Game", "", {Ev{}}}});
    BindClearProfile();
    BindAddProfile("[\"x\"]");
    BindDeleteProfile();
    BindSwitchProfile("[1]");
    EXPECT_EQ(Brief(), "0 5 Default Tracking Profile:1 Game:1");
    isRecording = false;
    BindSwitchProfile("[1]");
    autoClickIntervalMs = 99;
    BindClearProfile();
    EXPECT_EQ(Brief(), "1 5 Default Tracking Profile:1 Game:0");
    // Names are escaped in the list.
    BindAddProfile("[\"q\\\"\"]");
    EXPECT_NE(BindGetProfiles().find("\"q\\\\\"]"), std::string::npos);
}
