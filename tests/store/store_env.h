#pragma once

// Every store test binary keeps its files under a fresh XDG_DATA_HOME and XDG_CONFIG_HOME, set
// during static initialisation, before anything asks for the data folder.

#include "state/tool_state.h"
#include "store/app_settings.h"
#include "store/profiles.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

inline const std::string kTestHome = [] {
    char dir[] = "/tmp/qln-store-test-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    setenv("XDG_DATA_HOME", (std::string(dir) + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (std::string(dir) + "/config").c_str(), 1);
    return std::string(dir);
}();

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline void SetProfiles(std::vector<MacroProfile> list, int32_t current = 0) {
    std::lock_guard<std::mutex> lock(profileMutex);
    profiles = std::move(list);
    currentProfileIdx = current;
}

inline std::vector<MacroProfile> Profiles() {
    std::lock_guard<std::mutex> lock(profileMutex);
    return profiles;
}

// Each test starts as after a first launch: start values, the one default profile, no files;
// the session file has a name of the test's own.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        TearDown();
        SetProfiles({MacroProfile{kDefaultProfileName, "", {}}});
        g_SessionStateFilePath = kTestHome + "/session-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override {
        unlink(g_SessionStateFilePath.c_str());
        unlink(GetAppSettingsFilePath().c_str());
        ResetAppSettingsForTest();
        ResetToolStateForTest();
    }
};
