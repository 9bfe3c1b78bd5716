#include "state/humanize.h"

std::atomic<int32_t> humanizeClickJitterMs{0};
std::atomic<int32_t> humanizeHoldMs{0};
std::atomic<int32_t> humanizeHoldJitterMs{0};
std::atomic<int32_t> humanizeAreaMode{0};
std::atomic<int32_t> humanizeAreaX{0};
std::atomic<int32_t> humanizeAreaY{0};
std::atomic<int32_t> humanizeAreaWidth{0};
std::atomic<int32_t> humanizeAreaHeight{0};
std::atomic<int32_t> humanizeAreaRadius{0};
std::atomic<int32_t> humanizeKeyJitterMs{0};
std::atomic<int32_t> humanizeAreaPick{0};
std::atomic<bool> humanizeAreaUnsaved{false};
std::atomic<bool> humanizeClicker{false};
std::atomic<bool> humanizeKeySpam{false};

const char* const kHumanizeNames[kHumanizeFieldCount] = {
    "clickJitter", "hold",      "holdJitter", "area",   "areaX",
    "areaY",       "areaWidth", "areaHeight", "radius", "keyJitter",
};
std::atomic<int32_t>* const kHumanizeValues[kHumanizeFieldCount] = {
    &humanizeClickJitterMs, &humanizeHoldMs,      &humanizeHoldJitterMs, &humanizeAreaMode,
    &humanizeAreaX,         &humanizeAreaY,       &humanizeAreaWidth,    &humanizeAreaHeight,
    &humanizeAreaRadius,    &humanizeKeyJitterMs,
};

void RefreshHumanizeSwitches() {
    const int32_t area = humanizeAreaMode.load();
    const bool spread = area == 1 || area == 2;
    humanizeClicker.store(humanizeClickJitterMs.load() != 0 || humanizeHoldMs.load() != 0 ||
                          humanizeHoldJitterMs.load() != 0 || spread);
    humanizeKeySpam.store(humanizeKeyJitterMs.load() != 0);
}

void ResetHumanize() {
    for (auto* value : kHumanizeValues) value->store(0);
    humanizeAreaPick.store(0);
    humanizeAreaUnsaved.store(false);
    RefreshHumanizeSwitches();
}
