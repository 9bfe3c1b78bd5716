// Seeded humanize draws stay inside their range, spread evenly and repeat for one seed.
#include "engine/humanize.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

void Seed(uint64_t salt) {
    setenv("QLN_HUMANIZE_SEED", "42", 1);
    SeedHumanizeDraws(salt);
}

}  // namespace

// Every draw inside its range; the mean where it belongs; one seed, one sequence.
TEST(Humanize, SeededDrawsAreUniformInsideTheirRange) {
    Seed(1);
    std::vector<int64_t> first;
    double sum = 0;
    for (int i = 0; i < 20000; ++i) {
        const int64_t ns = DrawIntervalNs(10, 4);
        EXPECT_GE(ns, 6000000);
        EXPECT_LE(ns, 14000000);
        sum += double(ns);
        if (i < 50) first.push_back(ns);
    }
    EXPECT_NEAR(sum / 20000 / 1e6, 10.0, 0.1);
    Seed(1);
    for (int64_t ns : first) EXPECT_EQ(DrawIntervalNs(10, 4), ns);
    EXPECT_EQ(DrawIntervalNs(10, 0), 10000000);

    for (const ClickArea& area : {AreaFromSettings(1, 100, 200, 50, 20, 0, 0, 0, 640, 480),
                                  AreaFromSettings(2, 0, 0, 0, 0, 8, 300, 300, 640, 480)}) {
        const int32_t midX = (area.left + area.right) / 2, midY = (area.top + area.bottom) / 2;
        bool quadrants[2][2] = {};
        for (int i = 0; i < 2000; ++i) {
            int32_t x = -1, y = -1;
            DrawPoint(area, x, y);
            EXPECT_TRUE(x >= area.left && x <= area.right && y >= area.top && y <= area.bottom);
            if (area.radiusSquared >= 0) {
                EXPECT_LE(int64_t(x - 300) * (x - 300) + int64_t(y - 300) * (y - 300), 64);
            }
            quadrants[x > midX][y > midY] = true;
        }
        EXPECT_TRUE(quadrants[0][0] && quadrants[0][1] && quadrants[1][0] && quadrants[1][1]);
    }
}
