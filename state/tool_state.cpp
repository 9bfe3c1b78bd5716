#include "state/tool_state.h"

#include "state/humanize.h"

#include <sched.h>
#include <chrono>
#include <cmath>

std::atomic<bool> g_AppRunning{true};
std::vector<std::thread> g_Threads;

std::atomic<int32_t> vkAutoClicker{117};
std::atomic<int32_t> autoClickIntervalHours{0};
std::atomic<int32_t> autoClickIntervalMins{0};
std::atomic<int32_t> autoClickIntervalSecs{0};
std::atomic<int32_t> autoClickIntervalMs{5};
std::atomic<int32_t> autoClickerButtonIdx{0};
std::atomic<int32_t> autoClickClickType{0};
std::atomic<int32_t> autoClickRepeatMode{1};
std::atomic<int32_t> autoClickRepeatTimes{10};
std::atomic<int32_t> autoClickLocationMode{0};
std::atomic<int32_t> autoClickFixedX{0};
std::atomic<int32_t> autoClickFixedY{0};
std::atomic<bool> isPickingLocation{false};
std::atomic<bool> isAutoClicking{false};
std::atomic<int32_t> currentClickCount{0};

std::atomic<int32_t> vkKeySpamHotkey{120};
std::atomic<int32_t> keySpamTargets[kKeySpamSlots] = {{32}};
std::atomic<int32_t> keySpamTargetCount{1};
std::atomic<int32_t> vkKeySpamTarget{32};
std::atomic<int32_t> keySpamIntervalHours{0};
std::atomic<int32_t> keySpamIntervalMins{0};
std::atomic<int32_t> keySpamIntervalSecs{0};
std::atomic<int32_t> keySpamIntervalMs{5};
std::atomic<int32_t> keySpamRepeatMode{1};
std::atomic<int32_t> keySpamRepeatTimes{10};
std::atomic<bool> keySpamChordMode{false};
std::atomic<bool> isKeySpamming{false};
std::atomic<int32_t> currentKeySpamCount{0};

std::atomic<int32_t> vkRecord{119};
std::atomic<int32_t> vkPlay{118};
std::atomic<bool> bRecordMouseMovement{true};
std::atomic<bool> bRecordMouseClicks{true};
std::atomic<bool> bRecordMouseScroll{true};
std::atomic<bool> bRecordKeyboard{true};
std::atomic<float> fPlaybackSpeed{1.0f};
std::atomic<int32_t> iLoopIntervalMs{500};
std::atomic<bool> bUseRelativeMouse{false};
std::atomic<bool> bLoopSequence{false};
std::atomic<bool> isRecording{false};
std::atomic<bool> isPlaying{false};
std::atomic<bool> g_StopToolsWithMacro{true};
std::vector<MacroProfile> profiles;
int32_t currentProfileIdx = 0;
std::mutex profileMutex;
int32_t g_ContinueUndoProfile = -1;
std::vector<UnifiedEvent> g_ContinueUndoBefore;
std::vector<UnifiedEvent> g_ContinueUndoAfter;
size_t g_RecordFirstNewIdx = 0;
std::atomic<int64_t> g_RecordStart{0};

std::atomic<bool> g_HotkeysEnabled{true};
std::atomic<bool> g_HotkeyLockEnabled{true};
std::atomic<bool> g_HotkeysUnlocked{true};
std::atomic<int32_t> vkUnlock{121};
std::atomic<bool> g_HoldModeAuto{false};
std::atomic<bool> g_HoldModeKeySpam{false};
std::atomic<int32_t> currentReassign{0};
std::atomic<int32_t> capturedReassignKey{0};
std::atomic<bool> g_PanelHoverActive{false};

std::atomic<bool> triggerAutoClicker{false};
std::atomic<bool> triggerAutoClickStart{false};
std::atomic<bool> triggerAutoClickStop{false};
std::atomic<bool> triggerKeySpam{false};
std::atomic<bool> triggerKeySpamStart{false};
std::atomic<bool> triggerKeySpamStop{false};
std::atomic<bool> triggerRecord{false};
std::atomic<bool> triggerRecordStart{false};
std::atomic<bool> triggerRecordStop{false};
std::atomic<bool> triggerRecordContinue{false};
std::atomic<bool> triggerUndoContinue{false};
std::atomic<bool> triggerPlay{false};
std::atomic<bool> triggerPlayStart{false};
std::atomic<bool> triggerPlayStop{false};

WakeEvent g_SignalWake;
WakeEvent g_AutoClickWake;
WakeEvent g_KeySpamWake;
WakeEvent g_PlaybackWake;

bool SameEvent(const UnifiedEvent& a, const UnifiedEvent& b) {
    return a.type == b.type && a.time == b.time && a.x == b.x && a.y == b.y &&
           a.mouseFlags == b.mouseFlags && a.key == b.key && a.down == b.down && a.wheel == b.wheel;
}

bool SameEventList(const std::vector<UnifiedEvent>& a, const std::vector<UnifiedEvent>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!SameEvent(a[i], b[i])) return false;
    }
    return true;
}

static void Wake(WakeEvent& event) {
    event.flag.store(true);
    // Taking the mutex once closes the window between a waiter's flag test and its wait.
    { std::lock_guard<std::mutex> handOver(event.mutex); }
    event.cv.notify_one();
}

void WakeSignalProcessor() { Wake(g_SignalWake); }
void WakeAutoClickThread() { Wake(g_AutoClickWake); }
void WakeKeySpamThread() { Wake(g_KeySpamWake); }
void WakePlaybackThread() { Wake(g_PlaybackWake); }

void RaiseRequest(std::atomic<bool>& trigger) {
    trigger.exchange(true);
    WakeSignalProcessor();
}

void IdleWait(WakeEvent& event) {
    std::unique_lock<std::mutex> lock(event.mutex);
    if (event.flag.exchange(false)) return;
    do {
        if (!g_AppRunning.load()) return;
        event.cv.wait(lock);
    } while (!event.flag.exchange(false));
}

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// The last stretch before a deadline is watched on the clock: a sleeping thread wakes some tens
// of microseconds late, and a click that is due must not be.
constexpr int64_t kWatchedStretchNs = 60000;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

bool WaitUntilOrWake(WakeEvent& event, int64_t deadlineNs) {
    const int64_t sleepUntil = deadlineNs - kWatchedStretchNs;
    if (SteadyNowNs() < sleepUntil) {
        std::unique_lock<std::mutex> lock(event.mutex);
        const auto wakePoint =
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(sleepUntil));
        for (;;) {
            if (event.flag.exchange(false)) return true;
            if (!g_AppRunning.load()) return false;
            if (event.cv.wait_until(lock, wakePoint) == std::cv_status::timeout) break;
        }
    }
    for (;;) {
        if (event.flag.exchange(false)) return true;
        if (!g_AppRunning.load() || SteadyNowNs() >= deadlineNs) return false;
        CpuRelax();
    }
}

void SleepUntilNs(int64_t deadlineNs) {
    const int64_t sleepUntil = deadlineNs - kWatchedStretchNs;
    if (SteadyNowNs() < sleepUntil) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(sleepUntil)));
    }
    while (SteadyNowNs() < deadlineNs) CpuRelax();
}

void WaitIntervalOrWake(WakeEvent& event, double intervalMs) {
    WaitUntilOrWake(event, SteadyNowNs() + static_cast<int64_t>(intervalMs * 1000000.0));
}

int64_t NextDueNs(int64_t dueNs, int64_t actedNs, int64_t intervalNs) {
    // A quarter of a millisecond late is a stall, not wake-up noise.
    constexpr int64_t kLateNs = 250000;
    const int64_t base = actedNs - dueNs > kLateNs ? actedNs : dueNs;
    return base + intervalNs;
}

int64_t ToolIntervalMs(int32_t hours, int32_t mins, int32_t secs, int32_t ms) {
    double interval = static_cast<double>(hours) * 3600000.0 + static_cast<double>(mins) * 60000.0 +
                      static_cast<double>(secs) * 1000.0 + static_cast<double>(ms);
    if (!(interval >= 1.0)) interval = 1.0;
    // A year is far beyond any real interval and keeps the sum inside the clock's range.
    constexpr double kLongest = 86400000.0 * 365.0;
    if (interval > kLongest) interval = kLongest;
    return static_cast<int64_t>(std::ceil(interval));
}

void MarkRecordStartTime() { g_RecordStart.store(SteadyNowNs()); }

double RecordElapsedSeconds() {
    return static_cast<double>(SteadyNowNs() - g_RecordStart.load()) / 1000000000.0;
}

void ResetToolStateForTest() {
    vkAutoClicker = 117;
    autoClickIntervalHours = 0;
    autoClickIntervalMins = 0;
    autoClickIntervalSecs = 0;
    autoClickIntervalMs = 5;
    autoClickerButtonIdx = 0;
    autoClickClickType = 0;
    autoClickRepeatMode = 1;
    autoClickRepeatTimes = 10;
    autoClickLocationMode = 0;
    autoClickFixedX = 0;
    autoClickFixedY = 0;
    isPickingLocation = false;
    isAutoClicking = false;
    currentClickCount = 0;
    vkKeySpamHotkey = 120;
    for (auto& slot : keySpamTargets) slot = 0;
    keySpamTargets[0] = 32;
    keySpamTargetCount = 1;
    vkKeySpamTarget = 32;
    keySpamIntervalHours = 0;
    keySpamIntervalMins = 0;
    keySpamIntervalSecs = 0;
    keySpamIntervalMs = 5;
    keySpamRepeatMode = 1;
    keySpamRepeatTimes = 10;
    keySpamChordMode = false;
    isKeySpamming = false;
    currentKeySpamCount = 0;
    vkRecord = 119;
    vkPlay = 118;
    bRecordMouseMovement = true;
    bRecordMouseClicks = true;
    bRecordMouseScroll = true;
    bRecordKeyboard = true;
    fPlaybackSpeed = 1.0f;
    iLoopIntervalMs = 500;
    bUseRelativeMouse = false;
    bLoopSequence = false;
    isRecording = false;
    isPlaying = false;
    g_StopToolsWithMacro = true;
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.clear();
        currentProfileIdx = 0;
        g_ContinueUndoProfile = -1;
        g_ContinueUndoBefore.clear();
        g_ContinueUndoAfter.clear();
        g_RecordFirstNewIdx = 0;
    }
    g_HotkeysEnabled = true;
    g_HotkeyLockEnabled = true;
    g_HotkeysUnlocked = true;
    vkUnlock = 121;
    g_HoldModeAuto = false;
    g_HoldModeKeySpam = false;
    currentReassign = 0;
    capturedReassignKey = 0;
    g_PanelHoverActive = false;
    ResetHumanize();
    for (auto* flag : {&triggerAutoClicker, &triggerAutoClickStart, &triggerAutoClickStop,
                       &triggerKeySpam, &triggerKeySpamStart, &triggerKeySpamStop, &triggerRecord,
                       &triggerRecordStart, &triggerRecordStop, &triggerRecordContinue,
                       &triggerUndoContinue, &triggerPlay, &triggerPlayStart, &triggerPlayStop}) {
        flag->store(false);
    }
    for (auto* event : {&g_SignalWake, &g_AutoClickWake, &g_KeySpamWake, &g_PlaybackWake}) {
        event->flag.store(false);
    }
}
