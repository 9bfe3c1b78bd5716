#pragma once

// Settings that make the auto clicker and the key spammer less regular: interval jitter, an
// area to spread the clicks over and a hold time per click. All 0 leaves both tools exactly as
// they are without them. The values are kept as set; the engines clamp them when they use them.

#include <atomic>
#include <cstddef>
#include <cstdint>

extern std::atomic<int32_t> humanizeClickJitterMs;  // clicker interval ± this
extern std::atomic<int32_t> humanizeHoldMs;         // press-to-release time of each click
extern std::atomic<int32_t> humanizeHoldJitterMs;   // hold time ± this
extern std::atomic<int32_t> humanizeAreaMode;       // 1 rectangle, 2 radius, else none
extern std::atomic<int32_t> humanizeAreaX;          // rectangle, root-window coordinates
extern std::atomic<int32_t> humanizeAreaY;
extern std::atomic<int32_t> humanizeAreaWidth;
extern std::atomic<int32_t> humanizeAreaHeight;
extern std::atomic<int32_t> humanizeAreaRadius;   // pixels around the fixed point
extern std::atomic<int32_t> humanizeKeyJitterMs;  // key spammer interval ± this
// 1 while a rectangle waits for its press, 2 while it is being dragged, else 0.
extern std::atomic<int32_t> humanizeAreaPick;
// Set when a picked rectangle has not been written to the settings file yet.
extern std::atomic<bool> humanizeAreaUnsaved;
// Whether any clicker or key spammer setting above is set; the tools read only this per action.
extern std::atomic<bool> humanizeClicker;
extern std::atomic<bool> humanizeKeySpam;

// The settings in their fixed order, that of the settings file, the JSON object and the update
// record, with their names there.
constexpr size_t kHumanizeFieldCount = 10;
extern const char* const kHumanizeNames[kHumanizeFieldCount];
extern std::atomic<int32_t>* const kHumanizeValues[kHumanizeFieldCount];

// Brings humanizeClicker and humanizeKeySpam in line with the settings; after every change.
void RefreshHumanizeSwitches();
// Every setting back to 0.
void ResetHumanize();
