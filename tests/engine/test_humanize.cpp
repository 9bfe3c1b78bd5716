// The humanize rules on stored values of every kind, and the seeded draws that follow them.
#include "engine/humanize.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

using Ints = std::vector<int64_t>;

Ints Corners(const ClickArea& a) { return {a.left, a.top, a.right, a.bottom, a.radiusSquared}; }

void Seed(uint64_t salt) {
    setenv("QLN_HUMANIZE_SEED", "42", 1);
    SeedHumanizeDraws(salt);
}

}  // namespace

TEST(Humanize, JitterAndHoldAreClampedToWhatKeepsTheRate) {
    const struct {
        int64_t jitter, interval, effective;
    } jitters[] = {{-5, 10, 0}, {0, 10, 0}, {3, 10, 3}, {10, 10, 9}, {50, 10, 9}, {5, 1, 0}};
    for (const auto& c : jitters) {
        EXPECT_EQ(EffectiveJitterMs(c.jitter, c.interval), c.effective) << c.jitter;
    }
    const struct {
        int64_t hold, jitter, shortest;
        bool doubleClick;
        Ints span;
    } holds[] = {
        {0, 0, 10, false, {0, 0}},         {-3, 2, 10, false, {0, 0}},
        {4, 2, 10, false, {2, 6}},         {4, 9, 10, false, {0, 8}},
        {20, 5, 10, false, {9, 9}},        {5, -1, 10, false, {5, 5}},
        {100, 50, 1000, true, {50, 150}},  {300, 50, 1000, true, {190, 190}},
        {180, 30, 1000, true, {170, 190}}, {3, 1, 1, false, {0, 0}},
    };
    for (const auto& c : holds) {
        const SpanMs span = HoldSpan(c.hold, c.jitter, c.shortest, c.doubleClick, 400);
        EXPECT_EQ((Ints{span.low, span.high}), c.span) << c.hold << "±" << c.jitter;
    }
}

TEST(Humanize, AreaIsRefusedWhenEmptyAndClippedToTheScreen) {
    const struct {
        int32_t mode, x, y, width, height, radius, fixedX, fixedY, screenWidth;
        Ints corners;
    } cases[] = {
        {1, 10, 20, 30, 40, 0, 0, 0, 640, {10, 20, 39, 59, -1}},
        {1, 10, 20, 0, 40, 0, 0, 0, 640, {0, 0, -1, -1, -1}},
        {1, 10, 20, 30, -4, 0, 0, 0, 640, {0, 0, -1, -1, -1}},
        {1, 600, 470, 100, 100, 0, 0, 0, 640, {600, 470, 639, 479, -1}},
        {1, 700, 10, 5, 5, 0, 0, 0, 640, {0, 0, -1, -1, -1}},
        {1, -5, -5, 10, 10, 0, 0, 0, 0, {-5, -5, 4, 4, -1}},
        {1, INT32_MAX, 0, 10, 10, 0, 0, 0, 0, {INT32_MAX, 0, INT32_MAX, 9, -1}},
        {2, 0, 0, 0, 0, 10, 5, 5, 640, {0, 0, 15, 15, 100}},
        {2, 0, 0, 0, 0, 0, 5, 5, 640, {0, 0, -1, -1, -1}},
        {2, 0, 0, 0, 0, -3, 5, 5, 640, {0, 0, -1, -1, -1}},
        {2, 0, 0, 0, 0, 10, -1, 5, 640, {0, 0, -1, -1, -1}},
        {3, 10, 20, 30, 40, 10, 5, 5, 640, {0, 0, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        const ClickArea area = AreaFromSettings(c.mode, c.x, c.y, c.width, c.height, c.radius,
                                                c.fixedX, c.fixedY, c.screenWidth, 480);
        EXPECT_EQ(Corners(area), c.corners) << c.mode << " " << c.x << "," << c.y;
    }
}

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
