// Page choice and the rewrites of the page texts, on plain values: the cases the real program in
// the page tests never meets, read from pages.txt.
#include <gtest/gtest.h>

#include "bridge/bindings.h"
#include "bridge/pages.h"
#include "tests/support/files.h"

#include <string>

TEST(Pages, Table) {
    int cases = 0;
    for (const std::string& line : Split(Slurp(QLN_BRIDGE_TEST_DIR "/pages.txt"), "\n")) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = Split(line);
        f.resize(6);  // missing fields read as empty
        ++cases;
        if (f[0] == "first") {
            const bool tooOld = WebEngineTooOld(std::stoi(f[1]), std::stoi(f[2]));
            EXPECT_EQ(FirstPageMode(tooOld, f[3] == "1", f[4] == "1"), f[5]) << line;
        } else if (f[0] == "boot") {
            EXPECT_EQ(PrepareBootPage(f[1], "reset", f[2]), f[3]) << line;
        } else if (f[0] == "inline") {
            EXPECT_EQ(InlineSortableScript(f[1], f[2]), f[3]) << line;
        } else if (f[0] == "ints") {
            int first = 0, second = 0;
            const bool ok = ReadTwoInts(f[1], first, second);
            EXPECT_EQ(ok ? std::to_string(first) + "," + std::to_string(second) : "refused", f[2])
                << line;
        } else {
            ADD_FAILURE() << line;
        }
    }
    EXPECT_EQ(cases, 21);
}
