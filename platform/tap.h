#pragma once

// The input tap: watches every real key, button, wheel and pointer event of the X session and
// swallows exactly what the dispatch logic says it would swallow.

#include <cstdint>
#include <string>
#include <vector>

// One real input event, already translated to VK numbers.
struct TapEvent {
    enum Kind { kKey, kButton, kMove, kWheel } kind = kKey;
    int vk = 0;         // kKey, kButton
    bool down = false;  // kKey, kButton
    double x = 0;       // kButton, kMove: root position
    double y = 0;
    int64_t dx = 0;  // kMove: the device's own step
    int64_t dy = 0;
    int wheelLines = 0;  // kWheel: lines, positive away from the user
};

// What the dispatch logic would swallow right now; the tap holds exactly these grabs.
struct SwallowSet {
    std::vector<int> keys;        // VKs of keys grabbed (any modifiers)
    std::vector<int> buttons;     // VKs of mouse buttons grabbed (any modifiers)
    bool wholeKeyboard = false;   // a reassignment waits for its key
    bool pickingPointer = false;  // a location is being picked (crosshair)
    bool operator==(const SwallowSet&) const = default;
};

// Implemented by the dispatch logic, called on the tap thread.
bool TapCallback(const TapEvent& event);  // true: the event was one to swallow
SwallowSet CurrentSwallowSet();
// Whether a pointer move needs its position now; positions cost a round trip to the server.
bool TapWantsMovePositions();
// Whether the dispatch needs to be told where the pointer is before the next move (a relative
// recording began and the last position is unknown); the tap then calls TapSetPointerBase.
bool TapWantsPointerBase();
void TapSetPointerBase(double x, double y);
void InputTapOnSessionLocked();
void ResetTapTrackersOnNextEvent();

// Starts the tap thread; false when the display lacks XInput 2.2 (nothing changes then).
bool OsStartInputTap();
void OsStopInputTap();
bool OsInputTapRunning();
// How long the tap took per event, in microsecond buckets (the last bucket holds the rest);
// for benchmarks and diagnostics.
constexpr int kTapTimingBuckets = 2000;
std::vector<uint64_t> OsTapHandlingHistogram();

// Asks the tap to bring its grabs in line with CurrentSwallowSet() and waits (up to the
// timeout) until it has. Callable from any thread; never from the tap thread.
bool OsTapSyncGrabs(int timeoutMs);
// Asks without waiting; safe from any thread.
void OsTapRefreshGrabs();
// Path of a process's executable; empty when it cannot be read.
std::string ExecutablePathOf(long pid);
// True when the topmost window under the root point belongs to this program (this process,
// or another process running the same executable). Tap thread only.
bool OsIsOwnWindowAt(double x, double y);
