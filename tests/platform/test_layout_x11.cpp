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
    EXPECT_EQ(NameOnWorker(65), "A");
    EXPECT_EQ(NameOnWorker(186), ";");
    EXPECT_EQ(NameOnWorker(220), "Backslash");  // the layout's "\" is refused
    EXPECT_EQ(NameOnWorker(222), "'");
    EXPECT_EQ(NameOnWorker(49), "1");
    EXPECT_EQ(GetKeyName(65), "A");       // live on the layout thread
    EXPECT_EQ(LayoutCharForKey(65), "");  // Space prints a blank: refused

    ASSERT_TRUE(SwitchLayout("fr", 65, "Q"));
    EXPECT_EQ(NameOnWorker(81), "A");
    EXPECT_EQ(NameOnWorker(49), "&");
    EXPECT_EQ(NameOnWorker(222), "\xc3\x99");  // ù upper-cased
    EXPECT_EQ(NameOnWorker(112), "F1");        // fixed names never follow the layout
    EXPECT_EQ(GetKeyName(65), "Q");

    ASSERT_TRUE(SwitchLayout("us", 65, "A"));
    EXPECT_EQ(NameOnWorker(49), "1");
    OsKeysStopWatchingLayout();
}

}  // namespace
