#pragma once

// How the humanize settings are used: the clamping rules that turn any stored value into a
// sound one, and the random draws of the tool threads.

#include <cstdint>

// X has no click-count field: the second click of a double click comes this long after the
// server has the first, which is what makes it a double click for the application.
constexpr int64_t kDoubleClickGapMs = 15;

// Milliseconds from low to high, both included.
struct SpanMs {
    int64_t low = 0;
    int64_t high = 0;
};

// Where a humanized click may land: pixels left..right, top..bottom, and for a radius, only
// those within it of the centre. Empty (right < left) when clicks go to the fixed point.
struct ClickArea {
    int32_t left = 0, top = 0, right = -1, bottom = -1;
    int32_t centreX = 0, centreY = 0;
    int64_t radiusSquared = -1;  // -1: a rectangle
};

// Interval jitter as used: none when negative, at most interval − 1 ms, so that no interval is
// shorter than 1 ms and the mean stays the interval.
int64_t EffectiveJitterMs(int64_t jitterMs, int64_t intervalMs);
// Hold times as used: the hold (none when negative) with its jitter (0..hold), both cut so that
// every hold ends before the shortest interval does and, in a double click, both presses with
// the gap between them fit inside the double-click interval.
SpanMs HoldSpan(int64_t holdMs, int64_t holdJitterMs, int64_t shortestIntervalMs, bool doubleClick,
                int64_t doubleClickMs);
// The area from the stored settings: mode 1 the rectangle with positive width and height, mode 2
// the radius (above 0) around the fixed point; both clipped to a known screen (a size of 0 is
// unknown). Empty when the mode is another, the size is not positive or nothing is on screen.
ClickArea AreaFromSettings(int32_t mode, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t radius, int32_t fixedX, int32_t fixedY, int32_t screenWidth,
                           int32_t screenHeight);

// Seeds the calling thread's generator: from QLN_HUMANIZE_SEED plus the salt in test builds when
// that is set, else from the system's random source.
void SeedHumanizeDraws(uint64_t salt);
// Uniform draws of the calling thread's generator.
int64_t DrawNs(SpanMs span);
void DrawPoint(const ClickArea& area, int32_t& x, int32_t& y);
// An interval of intervalMs ± the effective jitter, in nanoseconds.
int64_t DrawIntervalNs(int64_t intervalMs, int64_t jitterMs);
