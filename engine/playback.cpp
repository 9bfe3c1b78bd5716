#include "engine/playback.h"

#include "platform/input.h"
#include "platform/thread.h"
#include "state/tool_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

// Defined only by tests that stall the engine before an event; absent from the program.
void QlnPlaybackStallSeam(size_t eventIndex) __attribute__((weak));

namespace {

// Further behind than this is a stall (the machine paused, the server slow): the rest of the
// schedule moves back instead of being caught up in a burst.
constexpr int64_t kStallNs = 50000000;
constexpr double kYearNs = 365.0 * 86400.0 * 1e9;
constexpr double kFastestSpeed = 100.0;
constexpr int kMostWheelLines = 100;

// What this playback pressed and has not released yet: only these are released at its end.
struct HeldByPlayback {
    std::array<bool, 256> keys{};
    std::array<bool, 3> buttons{};  // left, right, middle
};

// Where the last absolute move left the pointer, so a click moves it only when it is elsewhere.
struct PointerTrack {
    bool relativeRecording = false;  // clicks then happen wherever the steps led
    bool known = false;
    int64_t x = 0;
    int64_t y = 0;
};

struct ButtonAction {
    uint64_t flag;
    int button;
    bool down;
};
constexpr ButtonAction kButtonActions[] = {
    {kMouseLeftDown, 0, true}, {kMouseLeftUp, 0, false},    {kMouseRightDown, 1, true},
    {kMouseRightUp, 1, false}, {kMouseMiddleDown, 2, true}, {kMouseMiddleUp, 2, false},
};

bool StillPlaying() { return isPlaying.load() && g_AppRunning.load(); }

// Waits for a due time; false when playing stopped meanwhile.
bool WaitForDue(int64_t dueNs) {
    while (WaitUntilOrWake(g_PlaybackWake, dueNs)) {
        if (!StillPlaying()) return false;
    }
    return StillPlaying();
}

int ScreenCoordinate(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

std::vector<UnifiedEvent> CopyActiveEvents() {
    std::lock_guard<std::mutex> lock(profileMutex);
    if (currentProfileIdx < 0 || static_cast<size_t>(currentProfileIdx) >= profiles.size()) {
        return {};
    }
    return profiles[static_cast<size_t>(currentProfileIdx)].events;
}

bool HasRelativeMoves(const std::vector<UnifiedEvent>& events) {
    return std::any_of(events.begin(), events.end(),
                       [](const UnifiedEvent& e) { return e.type == kEventRelativeMove; });
}

void MoveTo(PointerTrack& pointer, int64_t x, int64_t y) {
    OsMoveMouseTo(ScreenCoordinate(x), ScreenCoordinate(y));
    pointer.known = true;
    pointer.x = x;
    pointer.y = y;
}

void PostButton(const UnifiedEvent& event, HeldByPlayback& held, PointerTrack& pointer) {
    const bool elsewhere = !pointer.known || pointer.x != event.x || pointer.y != event.y;
    if (!pointer.relativeRecording && elsewhere) MoveTo(pointer, event.x, event.y);
    if (event.mouseFlags == kMouseSideDown) {
        OsSideButtonClick();  // side buttons are recorded by their presses only
        return;
    }
    for (const ButtonAction& action : kButtonActions) {
        if (action.flag != event.mouseFlags) continue;
        OsMouseButton(action.button, action.down, 1);
        held.buttons[static_cast<size_t>(action.button)] = action.down;
        return;
    }
}

void PostKey(const UnifiedEvent& event, HeldByPlayback& held) {
    if (event.key <= 0 || event.key >= 256) return;
    OsKeyVk(event.key, event.down);
    held.keys[static_cast<size_t>(event.key)] = event.down;
}

void PostWheel(const UnifiedEvent& event) {
    const int lines = static_cast<int>(std::lround(event.wheel / 120.0));
    if (lines != 0) OsScrollLines(std::clamp(lines, -kMostWheelLines, kMostWheelLines));
}

void PostToolSwitch(const UnifiedEvent& event) {
    std::atomic<bool>* trigger = nullptr;
    if (event.key == kToolAutoClicker) {
        trigger = event.down ? &triggerAutoClickStart : &triggerAutoClickStop;
    } else if (event.key == kToolKeySpammer) {
        trigger = event.down ? &triggerKeySpamStart : &triggerKeySpamStop;
    }
    if (trigger) RaiseRequest(*trigger);
}

void PostEvent(const UnifiedEvent& event, HeldByPlayback& held, PointerTrack& pointer) {
    switch (event.type) {
        case kEventAbsoluteMove:
            MoveTo(pointer, event.x, event.y);
            break;
        case kEventRelativeMove:
            OsMoveMouseBy(ScreenCoordinate(event.x), ScreenCoordinate(event.y));
            pointer.known = false;
            break;
        case kEventButton:
            PostButton(event, held, pointer);
            break;
        case kEventKey:
            PostKey(event, held);
            break;
        case kEventWheel:
            PostWheel(event);
            break;
        case kEventToolSwitch:
            PostToolSwitch(event);
            break;
        default:
            break;
    }
}

void ReleaseHeld(HeldByPlayback& held) {
    for (size_t vk = 0; vk < held.keys.size(); ++vk) {
        if (held.keys[vk]) OsKeyVk(static_cast<int>(vk), false);
    }
    for (size_t button = 0; button < held.buttons.size(); ++button) {
        if (held.buttons[button]) OsMouseButton(static_cast<int>(button), false, 1);
    }
    held = HeldByPlayback{};
}

// One pass over the events on an absolute clock; false when playing stopped meanwhile.
bool PlayPass(const std::vector<UnifiedEvent>& events, HeldByPlayback& held,
              PointerTrack& pointer) {
    const double speed = PlaybackSpeedFrom(fPlaybackSpeed.load());
    int64_t start = SteadyNowNs();
    int64_t due = start;
    for (size_t i = 0; i < events.size(); ++i) {
        // Times that go backwards play at once rather than counting as lateness.
        due = std::max(due, start + PlaybackOffsetNs(events[i].time, speed));
        if (!WaitForDue(due)) return false;
        if (QlnPlaybackStallSeam) QlnPlaybackStallSeam(i);
        const int64_t late = SteadyNowNs() - due;
        if (late > kStallNs) {
            start += late;
            due += late;
        }
        PostEvent(events[i], held, pointer);
    }
    return true;
}

int64_t LoopIntervalNs() {
    const int64_t ms = std::max<int32_t>(iLoopIntervalMs.load(), 0);
    return ms * 1000000;
}

// The end of a recording that is not looped: the engine ends its own run, with the effects of
// a stop.
void EndOwnRun() {
    if (isPlaying.exchange(false) && g_StopToolsWithMacro.load()) {
        triggerAutoClickStop.exchange(true);
        triggerKeySpamStop.exchange(true);
        WakeSignalProcessor();
    }
}

void Replay() {
    const std::vector<UnifiedEvent> events = CopyActiveEvents();
    HeldByPlayback held;
    PointerTrack pointer;
    pointer.relativeRecording = HasRelativeMoves(events);
    bool reachedEnd = events.empty();
    while (!reachedEnd && PlayPass(events, held, pointer)) {
        if (!bLoopSequence.load()) {
            reachedEnd = true;
        } else if (!WaitForDue(SteadyNowNs() + LoopIntervalNs())) {
            break;
        }
    }
    ReleaseHeld(held);
    if (reachedEnd) EndOwnRun();
}

}  // namespace

double PlaybackSpeedFrom(float stored) {
    const double speed = stored;
    if (!std::isfinite(speed) || speed <= 0.0) return 1.0;
    return std::min(speed, kFastestSpeed);
}

int64_t PlaybackOffsetNs(double eventTime, double speed) {
    if (!(eventTime > 0.0)) return 0;
    const double ns = eventTime / speed * 1e9;
    if (!(ns < kYearNs)) return static_cast<int64_t>(kYearNs);
    return static_cast<int64_t>(ns);
}

void PlaybackThread() {
    OsNameThread("QLN playback");
    OsRaiseToUserInteractive();
    while (g_AppRunning.load()) {
        if (!isPlaying.load()) {
            IdleWait(g_PlaybackWake);
            continue;
        }
        // The wake that started this run must not cut its first wait short.
        g_PlaybackWake.flag.exchange(false);
        Replay();
    }
}
