#include "engine/humanize.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace {

constexpr int64_t kNsPerMs = 1000000;
// Room left inside the double-click interval for the posting and the server's round trips:
// with the gap, 20 ms.
constexpr int64_t kDoubleClickSpareMs = 5;
// A radius is drawn from its square; a point of the square lies in the circle three times in
// four, so this many misses only happens when the screen leaves almost nothing of it.
constexpr int kRadiusTries = 64;

thread_local std::mt19937_64 t_Generator;

bool TestSeed(uint64_t& seed) {
#ifdef QLN_TEST_SEAMS
    const char* text = std::getenv("QLN_HUMANIZE_SEED");
    if (text && *text) {
        seed = std::strtoull(text, nullptr, 10);
        return true;
    }
#endif
    (void)seed;
    return false;
}

int64_t Uniform(int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(t_Generator);
}

}  // namespace

int64_t EffectiveJitterMs(int64_t jitterMs, int64_t intervalMs) {
    return std::clamp<int64_t>(jitterMs, 0, std::max<int64_t>(intervalMs - 1, 0));
}

SpanMs HoldSpan(int64_t holdMs, int64_t holdJitterMs, int64_t shortestIntervalMs, bool doubleClick,
                int64_t doubleClickMs) {
    int64_t longest = shortestIntervalMs - 1;
    if (doubleClick) {
        longest = std::min(longest, (doubleClickMs - kDoubleClickGapMs - kDoubleClickSpareMs) / 2);
    }
    longest = std::max<int64_t>(longest, 0);
    const int64_t hold = std::clamp<int64_t>(holdMs, 0, longest);
    const int64_t jitter = std::clamp<int64_t>(holdJitterMs, 0, std::min(hold, longest - hold));
    return {hold - jitter, hold + jitter};
}

ClickArea AreaFromSettings(int32_t mode, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t radius, int32_t fixedX, int32_t fixedY, int32_t screenWidth,
                           int32_t screenHeight) {
    ClickArea area;
    int64_t left = 0, top = 0, right = -1, bottom = -1;
    if (mode == 1 && width > 0 && height > 0) {
        left = x;
        top = y;
        right = int64_t{x} + width - 1;
        bottom = int64_t{y} + height - 1;
    } else if (mode == 2 && radius > 0) {
        left = int64_t{fixedX} - radius;
        top = int64_t{fixedY} - radius;
        right = int64_t{fixedX} + radius;
        bottom = int64_t{fixedY} + radius;
        area.centreX = fixedX;
        area.centreY = fixedY;
        area.radiusSquared = int64_t{radius} * radius;
        // A centre off the screen would leave only a sliver of the circle on it.
        if (screenWidth > 0 && screenHeight > 0 &&
            (fixedX < 0 || fixedY < 0 || fixedX >= screenWidth || fixedY >= screenHeight)) {
            return ClickArea{};
        }
    } else {
        return area;
    }
    // Without a known screen, at least the coordinates' own range.
    const bool known = screenWidth > 0 && screenHeight > 0;
    left = std::max<int64_t>(left, known ? 0 : INT32_MIN);
    top = std::max<int64_t>(top, known ? 0 : INT32_MIN);
    right = std::min<int64_t>(right, known ? screenWidth - 1 : INT32_MAX);
    bottom = std::min<int64_t>(bottom, known ? screenHeight - 1 : INT32_MAX);
    if (right < left || bottom < top) return ClickArea{};
    area.left = static_cast<int32_t>(left);
    area.top = static_cast<int32_t>(top);
    area.right = static_cast<int32_t>(right);
    area.bottom = static_cast<int32_t>(bottom);
    return area;
}

void SeedHumanizeDraws(uint64_t salt) {
    uint64_t seed = 0;
    if (TestSeed(seed)) {
        t_Generator.seed(seed + salt);
        return;
    }
    std::random_device source;
    std::seed_seq sequence{source(), source(), source(), source()};
    t_Generator.seed(sequence);
}

int64_t DrawNs(SpanMs span) {
    if (span.high <= span.low) return span.low * kNsPerMs;
    return Uniform(span.low * kNsPerMs, span.high * kNsPerMs);
}

void DrawPoint(const ClickArea& area, int32_t& x, int32_t& y) {
    for (int i = 0; i < kRadiusTries; ++i) {
        const int64_t px = Uniform(area.left, area.right);
        const int64_t py = Uniform(area.top, area.bottom);
        const int64_t dx = px - area.centreX;
        const int64_t dy = py - area.centreY;
        if (area.radiusSquared < 0 || dx * dx + dy * dy <= area.radiusSquared) {
            x = static_cast<int32_t>(px);
            y = static_cast<int32_t>(py);
            return;
        }
    }
    x = area.centreX;
    y = area.centreY;
}

int64_t DrawIntervalNs(int64_t intervalMs, int64_t jitterMs) {
    const int64_t jitter = EffectiveJitterMs(jitterMs, intervalMs);
    return DrawNs({intervalMs - jitter, intervalMs + jitter});
}
