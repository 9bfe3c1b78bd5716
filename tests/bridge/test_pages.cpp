// Page choice and the rewrites of the page texts, on plain values: the cases the real program in
// the page tests never meets.
#include <gtest/gtest.h>

#include "bridge/bindings.h"
#include "bridge/pages.h"

#include <string>

namespace {

TEST(Pages, FirstPageFollowsEngineVersionThenInputThenRecord) {
    const struct {
        int major, minor;
        bool ready, grantedBefore;
        const char* mode;
    } kCases[] = {
        {2, 39, true, true, "update"}, {1, 99, true, false, "update"},
        {2, 40, true, false, ""},      {3, 0, true, false, ""},
        {2, 44, false, true, "reset"}, {0, 39, false, false, "permissions"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FirstPageMode(WebEngineTooOld(c.major, c.minor), c.ready, c.grantedBefore),
                  c.mode)
            << c.major << "." << c.minor;
    }
}

TEST(Pages, BootPageGetsItsModeOnceAndTheSettingsName) {
    const struct {
        const char *page, *name, *expected;
    } kCases[] = {
        {"__QLN_BOOT_MODE__ __QLN_BOOT_MODE__ System Settings,System SettingsSystem Settings",
         "Settings", "reset __QLN_BOOT_MODE__ Settings,SettingsSettings"},
        // A name that holds the text it replaces is not replaced again.
        {"__QLN_BOOT_MODE__:System Settings", "System Settings (GNOME)",
         "reset:System Settings (GNOME)"},
        {"__QLN_BOOT_MODE_ no marker", "Settings", ""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(PrepareBootPage(c.page, "reset", c.name), c.expected) << c.page;
    }
}

// Only the exact tag, only the first one, and only a script that is there and cannot end its
// own element.
TEST(Pages, SortableScriptIsInlinedOnlyWhenSafe) {
    const std::string tag = "<script src=\"vendor/Sortable.min.js\"></script>";
    EXPECT_EQ(InlineSortableScript(tag + tag, "s"), "<script>s</script>" + tag);
    const std::pair<std::string, std::string> kUnchanged[] = {
        {tag, ""}, {tag, "a</script>b"}, {"<script src='vendor/Sortable.min.js'></script>", "s"}};
    for (const auto& [page, script] : kUnchanged) {
        EXPECT_EQ(InlineSortableScript(page, script), page) << page << script;
    }
}

TEST(Bindings, TwoIntegerFieldsReadLikeTheStandardConversion) {
    const struct {
        const char* flat;
        bool ok;
        int first, second;
    } kCases[] = {
        {" 12px, -3,9", true, 12, -3}, {"+7,8e3", true, 7, 8},
        {"640", false, 0, 0},          {"px12,3", false, 0, 0},
        {"3,", false, 0, 0},           {"2147483647,1", true, 2147483647, 1},
        {"2147483648,1", false, 0, 0}, {"1,-2147483649", false, 0, 0},
    };
    for (const auto& c : kCases) {
        int first = 0, second = 0;
        EXPECT_EQ(ReadTwoInts(c.flat, first, second), c.ok) << c.flat;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(first, second), std::make_pair(c.first, c.second));
        }
    }
}

}  // namespace
