#include "store/status.h"
#include "platform/keys.h"
#include "platform/shell.h"
#include "state/tool_state.h"
#include "store/codecs.h"
#include "store/profiles.h"
#include "test_env.h"

#include "tests/support/fresh_state.h"

#include <gtest/gtest.h>

namespace {

class Status : public ::testing::Test {
protected:
    void SetUp() override { ResetToOneDefaultProfile(); }
    void TearDown() override { ResetToolStateForTest(); }
    static std::string Build(const std::string& restore = "[]") {
        std::lock_guard<std::mutex> lock(profileMutex);
        return BuildTrackerStatusJson(restore);
    }
};

std::string Name(int vk) { return JsonEscapeForBind(GetKeyName(vk)); }

}  // namespace

TEST_F(Status, DefaultsInMemberOrder) {
    EXPECT_EQ(Build(), "{\"state\":\"Idle\",\"count\":0,\"restore\":[],\"hkRec\":" + Name(119) +
                           ",\"hkPlay\":" + Name(118) + ",\"hkAuto\":" + Name(117) +
                           ",\"hkKeySpam\":" + Name(120) + ",\"hkUnlock\":" + Name(121) +
                           ",\"lockOn\":true,\"unlocked\":true,\"keySpamTargets\":[" + Name(32) +
                           "],\"keySpamChord\":false,\"ksCap\":3,\"reassigning\":\"\","
                           "\"panelHover\":false,\"autoClicking\":false,\"keySpamming\":false,"
                           "\"canUndoContinue\":false}");
    EXPECT_EQ(Name(119), "\"F8\"");
}

TEST_F(Status, ReflectsTheLiveState) {
    isRecording = true;
    isPlaying = true;
    EXPECT_EQ(Build().rfind("{\"state\":\"Recording\",", 0), 0u);
    isRecording = false;
    EXPECT_EQ(Build().rfind("{\"state\":\"Playing\",", 0), 0u);
    isPlaying = false;
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.push_back(MacroProfile{"b", "", std::vector<UnifiedEvent>(7)});
        currentProfileIdx = 1;
        // An undo is offered only for the profile the appending recording went into.
        g_ContinueUndoProfile = 1;
        g_ContinueUndoAfter = profiles[1].events;
    }
    keySpamTargets[0] = 65;
    keySpamTargets[1] = 66;
    keySpamTargetCount = 2;
    isAutoClicking = true;
    g_PanelHoverActive = true;
    currentReassign = 4;
    const std::string status = Build("[\"p\"]");
    for (const std::string& part :
         {std::string("\"count\":7,\"restore\":[\"p\"],"),
          "\"keySpamTargets\":[" + Name(65) + "," + Name(66) + "],",
          std::string("\"reassigning\":\"keyspamhotkey\","),
          std::string("\"panelHover\":true,\"autoClicking\":true,\"keySpamming\":false,"
                      "\"canUndoContinue\":true}")}) {
        EXPECT_NE(status.find(part), std::string::npos) << part;
    }
    keySpamTargetCount = 0;
    EXPECT_NE(Build().find("\"keySpamTargets\":[],"), std::string::npos);
    for (auto [code, word] :
         {std::pair{0, ""}, std::pair{7, ""}, std::pair{1, "rec"}, std::pair{6, "unlock"}}) {
        currentReassign = code;
        EXPECT_NE(Build().find(std::string("\"reassigning\":\"") + word + "\","), std::string::npos)
            << code;
    }
}

TEST_F(Status, StatusFileHoldsExactlyTheText) {
    EXPECT_EQ(GetTrackerStatusFilePath(), OsDataDir() + "/status.txt");
    const std::string text = Build();
    ASSERT_TRUE(SaveTrackerStatusToFile(text));
    EXPECT_EQ(Slurp(GetTrackerStatusFilePath()), text);
    ASSERT_TRUE(SaveTrackerStatusToFile("{}"));
    EXPECT_EQ(Slurp(GetTrackerStatusFilePath()), "{}");
}
