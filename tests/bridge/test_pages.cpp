// Page choice and the rewrites of the page texts, on plain values.
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
        {2, 39, true, true, "update"},  {1, 99, true, false, "update"},
        {2, 40, true, false, ""},       {3, 0, true, false, ""},
        {0, 0, true, false, ""},        {0, 39, false, false, "permissions"},
        {2, 44, false, true, "reset"},  {2, 44, false, false, "permissions"},
        {-1, 10, false, true, "reset"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        EXPECT_EQ(FirstPageMode(WebEngineTooOld(c.major, c.minor), c.ready, c.grantedBefore),
                  c.mode);
    }
}

TEST(Pages, BootPageGetsItsModeOnceAndTheSettingsName) {
    const struct {
        const char* page;
        const char* name;
        const char* expected;
    } kCases[] = {
        {"<p>__QLN_BOOT_MODE__ and __QLN_BOOT_MODE__</p>", "Settings",
         "<p>reset and __QLN_BOOT_MODE__</p>"},
        {"__QLN_BOOT_MODE__ System Settings, System SettingsSystem Settings", "Settings",
         "reset Settings, SettingsSettings"},
        // A name that holds the text it replaces is not replaced again.
        {"__QLN_BOOT_MODE__:System Settings", "System Settings (GNOME)",
         "reset:System Settings (GNOME)"},
        {"no marker at all", "Settings", ""},
        {"", "Settings", ""},
        {"__QLN_BOOT_MODE_", "Settings", ""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(PrepareBootPage(c.page, "reset", c.name), c.expected) << c.page;
    }
}

// Within 2 MiB and without: the program's window test, at the limit and one byte over.
TEST(Pages, SortableScriptIsInlinedOnlyWhenSafe) {
    const std::string tag = "<script src=\"vendor/Sortable.min.js\"></script>";
    const std::string page = "<head>" + tag + "</head>";
    EXPECT_EQ(InlineSortableScript(page, "s"), "<head><script>s</script></head>");

    const struct {
        std::string page, script;
    } kUnchanged[] = {
        {page, ""},
        {page, "a</script>b"},
        {"<script src='vendor/Sortable.min.js'></script>", "s"},
        {"<script src=\"vendor/Sortable.min.js\" defer></script>", "s"},
        {"<script  src=\"vendor/Sortable.min.js\"></script>", "s"},
        {"<script src=\"Sortable.min.js\"></script>", "s"},
    };
    for (const auto& c : kUnchanged) EXPECT_EQ(InlineSortableScript(c.page, c.script), c.page);
    // Only the first tag is replaced.
    EXPECT_EQ(InlineSortableScript(tag + tag, "s"), "<script>s</script>" + tag);
}

TEST(Bindings, TwoIntegerFieldsReadLikeTheStandardConversion) {
    const struct {
        const char* flat;
        bool ok;
        int first, second;
    } kCases[] = {
        {"640,480", true, 640, 480},
        {"640,480,9", true, 640, 480},
        {" 12px, -3", true, 12, -3},
        {"+7,8e3", true, 7, 8},
        {"640", false, 0, 0},
        {"", false, 0, 0},
        {"px12,3", false, 0, 0},
        {"3,", false, 0, 0},
        {"2147483647,1", true, 2147483647, 1},
        {"2147483648,1", false, 0, 0},
        {"1,-2147483649", false, 0, 0},
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
