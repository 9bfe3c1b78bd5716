// Names follow the X server's keyboard layout; worker threads see the change through the cache.
#include "platform/keys.h"
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <chrono>
#include <future>

namespace {

std::string NameOnWorker(int vk) {
    return std::async(std::launch::async, [vk] { return GetKeyName(vk); }).get();
}

void ExpectOnWorker(const std::vector<std::pair<int, std::string>>& names) {
    for (const auto& [vk, name] : names) EXPECT_EQ(NameOnWorker(vk), name) << vk;
}

// Switches the layout, then serves layout notifications on this (the layout) thread until a
// worker reads the name.
bool SwitchLayout(const char* layout, int vk, const std::string& expected) {
    if (RunCommand(std::string("setxkbmap -display \"$DISPLAY\" ") + layout) != 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        pollfd fd{OsLayoutWatchFd(), POLLIN, 0};
        poll(&fd, 1, 20);
        OsLayoutWatchDispatch();
        if (NameOnWorker(vk) == expected) return true;
    }
    return false;
}

TEST(LayoutX11, NamesFollowTheLayoutOnWorkerThreads) {
    ASSERT_EQ(RunCommand("setxkbmap -display \"$DISPLAY\" us"), 0);
    ASSERT_TRUE(OsKeysWatchLayout());
    // The layout's "\" is refused.
    ExpectOnWorker({{65, "A"}, {186, ";"}, {220, "Backslash"}, {222, "'"}, {49, "1"}});
    EXPECT_EQ(GetKeyName(65), "A");       // live on the layout thread
    EXPECT_EQ(LayoutCharForKey(65), "");  // Space prints a blank: refused

    ASSERT_TRUE(SwitchLayout("fr", 65, "Q"));
    // ù upper-cased; fixed names such as F1 never follow the layout.
    ExpectOnWorker({{81, "A"}, {49, "&"}, {222, "\xc3\x99"}, {112, "F1"}});
    EXPECT_EQ(GetKeyName(65), "Q");

    ASSERT_TRUE(SwitchLayout("us", 65, "A"));
    ExpectOnWorker({{49, "1"}});
    OsKeysStopWatchingLayout();
}

}  // namespace
