#include "state/tool_state.h"
#include "store/event_lines.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "store/settings_lines.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <chrono>
#include <thread>

namespace {

using Ev = UnifiedEvent;

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        ResetToolStateForTest();
        path_ = TestHome() + "/session-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
        unlink(path_.c_str());
        g_SessionStateFilePath = path_;
    }
    void TearDown() override {
        unlink(path_.c_str());
        ResetToolStateForTest();
    }
    static void SetProfiles(std::vector<MacroProfile> list, int32_t current = 0) {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles = std::move(list);
        currentProfileIdx = current;
    }
    static std::vector<MacroProfile> Profiles() {
        std::lock_guard<std::mutex> lock(profileMutex);
        return profiles;
    }
    std::string path_;
};

const std::string kSettingsLine =
    "SETTINGS:0,0,0,5,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,5,1,10,120,32,32,0,0,0,"
    "121\n";

}  // namespace

TEST(EventLines, FormatAndParse) {
    std::string line;
    AppendEventLine(line, Ev{2, 1234.5678, -5, 7, 18446744073709551615ull, 65, true, -120});
    EXPECT_EQ(line, "2,1234.57,-5,7,18446744073709551615,65,1,-120");
    Ev e;
    ASSERT_TRUE(ParseEventLine(line, e));
    EXPECT_TRUE(SameEvent(e, Ev{2, 1234.57, -5, 7, 18446744073709551615ull, 65, true, -120}));
    // Nine fields read the first eight; any non-zero down is pressed.
    ASSERT_TRUE(ParseEventLine("0,1,2,3,4,5,6,7,8", e));
    EXPECT_TRUE(SameEvent(e, Ev{0, 1, 2, 3, 4, 5, true, 7}));
    ASSERT_TRUE(ParseEventLine("0,0x1p1,2,3,4,5,6,7", e));
    EXPECT_EQ(e.time, 2);
    // A time too small for a double fails like any other field.
    for (const char* bad : {"0,1,2,3,4,5,6", "0,1,2,3,4,5,6,", "0,1,2,3,4,5,6,x",
                            "0,1,2,3,4,99999999999,0,0", "0,1e-310,2,3,4,5,6,7", ""}) {
        EXPECT_FALSE(ParseEventLine(bad, e)) << bad;
    }
}

TEST_F(Session, SaveWritesTheLayoutAndLoadsItBack) {
    SetProfiles(
        {MacroProfile{kDefaultProfileName, "", {}},
         MacroProfile{
             "Game, one: two", "1,2,3", {Ev{0, 0, 10, 20}, Ev{3, 123.4567, 0, 0, 0, 65, true}}}},
        1);
    ASSERT_TRUE(SaveSessionState());
    EXPECT_EQ(Slurp(path_), kSettingsLine +
                                "CURRENT:1\n"
                                "PROFILE:Default Tracking Profile\n"
                                "PROFILE:Game, one: two\n"
                                "PROFILESETTINGS:1,2,3\n"
                                "0,0,10,20,0,0,0,0\n"
                                "3,123.457,0,0,0,65,1,0\n");

    const std::string everyField =
        "1,2,3,4,2,1,0,77,1,-300,400,0,1,0,1,1,2.5,1,250,65,66,0,67,5,6,7,8,0,99,68,69,69|70|71,1,"
        "1,1,72";
    DeserializeSettings(everyField);
    std::vector<Ev> events;
    for (int i = 0; i < 500; ++i) {
        events.push_back(Ev{i % 6, i * 0.125, i - 250, 3 * i, static_cast<uint64_t>(i) * 2, i % 256,
                            i % 2 == 0, (i % 3 - 1) * 120});
    }
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}},
                 MacroProfile{"a", SerializeProfileSettings(), events},
                 MacroProfile{"b:c", "", {Ev{5, 1234.5678, 0, 0, 0, 1, true}}}},
                2);
    ASSERT_TRUE(SaveSessionState());
    const std::string firstText = Slurp(path_);
    ResetToolStateForTest();
    ASSERT_TRUE(LoadSessionState());
    EXPECT_EQ(SerializeSettings(), everyField);
    const auto loaded = Profiles();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded[1].name, "a");
    EXPECT_TRUE(SameEventList(loaded[1].events, events));
    EXPECT_EQ(loaded[2].name, "b:c");
    EXPECT_EQ(loaded[2].events[0].time, 1234.57) << "times keep 6 significant digits";
    EXPECT_EQ(loaded[2].settings, SerializeProfileSettings()) << "empty active settings filled";
    EXPECT_EQ(loaded[0].settings, "");
    ASSERT_TRUE(SaveSessionState());
    EXPECT_EQ(Slurp(path_), firstText.substr(0, firstText.find("PROFILE:b:c\n") + 12) +
                                "PROFILESETTINGS:" + SerializeProfileSettings() + "\n" +
                                "5,1234.57,0,0,0,1,1,0\n");
}

TEST_F(Session, LoaderEdgeCases) {
    // No PROFILE line: settings load, the result is false, profiles stay.
    SetProfiles({MacroProfile{"keep", "", {}}});
    WriteText(path_,
              "SETTINGS:0,0,0,9,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117\nCURRENT:0\n");
    EXPECT_FALSE(LoadSessionState());
    EXPECT_EQ(autoClickIntervalMs, 9);
    // A bad first line changes nothing at all.
    WriteText(path_, "\nSETTINGS:1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\nPROFILE:x\n");
    EXPECT_FALSE(LoadSessionState());
    EXPECT_EQ(autoClickIntervalHours, 0);
    EXPECT_EQ(Profiles()[0].name, "keep");
    // CURRENT out of range or not a number picks profile 0.
    for (const char* current : {"5", "x"}) {
        currentProfileIdx = 1;
        WriteText(path_, kSettingsLine + "CURRENT:" + current + "\nPROFILE:p0\nPROFILE:p1\n");
        EXPECT_TRUE(LoadSessionState());
        EXPECT_EQ(currentProfileIdx, 0) << current;
    }
    // No CURRENT line: the second line's profile heading is lost. Bad event lines are dropped
    // alone, and a last line without a line feed is read.
    WriteText(path_,
              kSettingsLine +
                  "PROFILE:lost\n0,1,2,3,0,0,0,0\nPROFILE:kept\n\n0,1,2,3,0,0,0,0\n"
                  "1,2,3,4,0,0,0\n1,2,3,4,0,0,0,0,9\nbogus\n0,1e-310,2,3,0,0,0,0\n0,1,2,3,0,0,0,0");
    EXPECT_TRUE(LoadSessionState());
    auto loaded = Profiles();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, "kept");
    ASSERT_EQ(loaded[0].events.size(), 3u);
    EXPECT_EQ(loaded[0].events[1].type, 1);
    // A missing file and a folder in its place.
    unlink(path_.c_str());
    EXPECT_FALSE(LoadSessionState());
    mkdir(path_.c_str(), 0700);
    EXPECT_FALSE(LoadSessionState());
    rmdir(path_.c_str());
}

// The text reader gives what the file reader gives, also for lines longer than a read piece.
TEST_F(Session, TextAndFileReadersAgree) {
    const std::string longName(150000, 'n');
    const std::string texts[] = {
        kSettingsLine + "CURRENT:1\nPROFILE:" + longName + "\n0,1,2,3,0,0,0,0\nPROFILE:b\n1,2,3",
        kSettingsLine + "PROFILE:lost\n\nPROFILE:kept\nPROFILESETTINGS:1,2\n0,0x1p1,2,3,0,0,0,0",
        "SETTINGS:0,0,0,9,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117\nCURRENT:0\n",
        "\nSETTINGS:" + kSettingsLine + "PROFILE:x\n"};
    for (const std::string& text : texts) {
        WriteText(path_, text);
        ResetToolStateForTest();
        const bool fromFile = LoadSessionState();
        std::string fileState;
        ASSERT_TRUE(SessionStateToText(fileState, true));
        ResetToolStateForTest();
        EXPECT_EQ(LoadSessionStateFromText(text), fromFile) << text.substr(0, 200);
        std::string textState;
        ASSERT_TRUE(SessionStateToText(textState, true));
        EXPECT_EQ(textState, fileState) << text.substr(0, 200);
    }
    WriteText(path_, texts[0]);
    ASSERT_TRUE(LoadSessionState());
    EXPECT_EQ(Profiles()[0].name, longName);
    EXPECT_EQ(Profiles()[0].events.size(), 1u);
}

TEST_F(Session, AutosaveSkipsABusyLockWhileTheExitSaveWaits) {
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}}});
    std::unique_lock<std::mutex> held(profileMutex);
    EXPECT_FALSE(SaveSessionState());
    EXPECT_EQ(Slurp(path_), "");
    std::atomic<bool> saved{false};
    std::thread exitSave([&] { saved = SaveSessionStateAtExit(); });
    // The last event arrives while the exit save waits for the lock.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    profiles[0].events.push_back(Ev{3, 9.5, 0, 0, 0, 66, true});
    held.unlock();
    exitSave.join();
    EXPECT_TRUE(saved);
    EXPECT_NE(Slurp(path_).find("3,9.5,0,0,0,66,1,0\n"), std::string::npos);
}

TEST_F(Session, SavesRacingWithRecordingStayConsistent) {
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}}});
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

TEST_F(Session, AutosaveThreadSavesEveryFiveSecondsAndEndsPromptly) {
    SetProfiles({MacroProfile{kDefaultProfileName, "", {}}});
    g_AppRunning = true;
    std::thread autosave(SessionAutosaveThread);
    for (int i = 0; i < 100 && Slurp(path_).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_NE(Slurp(path_), "");
    unlink(path_.c_str());
    g_AppRunning = false;
    autosave.join();
    g_AppRunning = true;
    EXPECT_EQ(Slurp(path_), "") << "no save on the way out";
}

TEST_F(Session, DefaultProfileRepairAndSnapshot) {
    SetProfiles({MacroProfile{"A", "", {}}, MacroProfile{"B", "", {}}}, 1);
    EnsureDefaultProfileExists();
    EnsureDefaultProfileExists();
    ASSERT_EQ(Profiles().size(), 3u);
    EXPECT_EQ(Profiles()[0].name, kDefaultProfileName);
    EXPECT_EQ(currentProfileIdx, 2);
    keySpamChordMode = true;
    SnapshotActiveProfileSettings();
    EXPECT_EQ(Profiles()[2].settings, SerializeProfileSettings());
    EXPECT_EQ(Profiles()[1].settings, "");
    SetProfiles({});
    SnapshotActiveProfileSettings();  // no profile: nothing, no crash
    EnsureDefaultProfileExists();
    EXPECT_EQ(currentProfileIdx, 0);
    EXPECT_EQ(Profiles().size(), 1u);
}

TEST_F(Session, ProfileBindings) {
    SetProfiles({MacroProfile{kDefaultProfileName, "", {Ev{0, 0, 1, 1}}}});
    autoClickIntervalMs = 77;
    // Empty names and names with a line feed, which would break the file, are refused; three
    // profiles at most.
    for (const char* name : {"[\"Game\"]", "[\"\"]", "[\"x\ny\"]", "[\"a\\nb\"]", "[\"fourth\"]"}) {
        BindAddProfile(name);
    }
    EXPECT_EQ(BindGetProfiles(),
              "{\"current\":2,\"names\":[\"Default Tracking Profile\",\"Game\",\"a\\\\nb\"],"
              "\"cap\":3,\"defaultName\":\"Default Tracking Profile\"}");
    EXPECT_EQ(Profiles()[1].settings, SerializeProfileSettings());
    // Switching applies the stored settings; empty settings mean the defaults; bad indexes
    // change nothing.
    BindSwitchProfile("[0]");
    EXPECT_EQ(autoClickIntervalMs, 5);
    BindSwitchProfile("[\"1\"]");
    EXPECT_EQ(autoClickIntervalMs, 77);
    BindSwitchProfile("[7]");
    BindSwitchProfile("[\"x\"]");
    EXPECT_EQ(currentProfileIdx, 1);
    // Deleting the last profile makes the new last one active; deleting the default clears it.
    BindSwitchProfile("[2]");
    BindDeleteProfile();
    EXPECT_EQ(currentProfileIdx, 1);
    BindSwitchProfile("[0]");
    autoClickIntervalMs = 99;
    BindDeleteProfile();
    ASSERT_EQ(Profiles().size(), 2u);
    EXPECT_TRUE(Profiles()[0].events.empty());
    EXPECT_EQ(autoClickIntervalMs, 5);
    EXPECT_EQ(Profiles()[0].settings, SerializeProfileSettings());
    // Nothing changes while recording.
    isRecording = true;
    BindClearProfile();
    BindAddProfile("[\"x\"]");
    BindDeleteProfile();
    BindSwitchProfile("[1]");
    EXPECT_EQ(currentProfileIdx, 0);
    EXPECT_EQ(Profiles().size(), 2u);
    isRecording = false;
    BindSwitchProfile("[1]");
    autoClickIntervalMs = 99;
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles[1].events.push_back(Ev{});
    }
    BindClearProfile();
    EXPECT_TRUE(Profiles()[1].events.empty());
    EXPECT_EQ(autoClickIntervalMs, 5);
    // Names are escaped in the list.
    BindAddProfile("[\"q\\\"\"]");
    EXPECT_NE(BindGetProfiles().find("\"q\\\\\"]"), std::string::npos);
}
