#pragma once

// Process-wide tool state shared by every thread. Producers raise trigger flags and wake the
// signal processor; only the signal processor turns requests into running-state changes.

#include "state/types.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// ---- process ----
extern std::atomic<bool> g_AppRunning;      // cleared once by ShutDown; ends every loop and wait
extern std::vector<std::thread> g_Threads;  // the long-lived workers, joined by ShutDown

// ---- auto clicker ----
extern std::atomic<int32_t> vkAutoClicker;           // hotkey that toggles the auto clicker
extern std::atomic<int32_t> autoClickIntervalHours;  // interval parts
extern std::atomic<int32_t> autoClickIntervalMins;
extern std::atomic<int32_t> autoClickIntervalSecs;
extern std::atomic<int32_t> autoClickIntervalMs;
extern std::atomic<int32_t> autoClickerButtonIdx;   // 0 left, 1 right, 2 middle, above: no click
extern std::atomic<int32_t> autoClickClickType;     // 1 double click, else single
extern std::atomic<int32_t> autoClickRepeatMode;    // 0 stop after autoClickRepeatTimes clicks
extern std::atomic<int32_t> autoClickRepeatTimes;   // click budget for repeat mode 0
extern std::atomic<int32_t> autoClickLocationMode;  // 1 click at the fixed point
extern std::atomic<int32_t> autoClickFixedX;        // fixed point, root-window coordinates
extern std::atomic<int32_t> autoClickFixedY;
extern std::atomic<bool> isPickingLocation;     // next left click anywhere sets the fixed point
extern std::atomic<bool> isAutoClicking;        // auto clicker running
extern std::atomic<int32_t> currentClickCount;  // clicks in the current run, 0 when idle

// ---- key spammer ----
constexpr int kKeySpamSlots = 256;
constexpr int kKeySpamCap = 3;
extern std::atomic<int32_t> vkKeySpamHotkey;                // hotkey that toggles the spammer
extern std::atomic<int32_t> keySpamTargets[kKeySpamSlots];  // live slots at the front
extern std::atomic<int32_t> keySpamTargetCount;             // number of live targets (<= 3)
extern std::atomic<int32_t> vkKeySpamTarget;                // copy of the first slot
extern std::atomic<int32_t> keySpamIntervalHours;
extern std::atomic<int32_t> keySpamIntervalMins;
extern std::atomic<int32_t> keySpamIntervalSecs;
extern std::atomic<int32_t> keySpamIntervalMs;
extern std::atomic<int32_t> keySpamRepeatMode;    // 0 stop after keySpamRepeatTimes ticks
extern std::atomic<int32_t> keySpamRepeatTimes;   // tick budget for repeat mode 0
extern std::atomic<bool> keySpamChordMode;        // all targets down together, then up together
extern std::atomic<bool> isKeySpamming;           // key spammer running
extern std::atomic<int32_t> currentKeySpamCount;  // ticks in the current run, 0 when idle

// ---- macro recorder ----
extern std::atomic<int32_t> vkRecord;  // hotkey that toggles recording
extern std::atomic<int32_t> vkPlay;    // hotkey that toggles playback
extern std::atomic<bool> bRecordMouseMovement;
extern std::atomic<bool> bRecordMouseClicks;
extern std::atomic<bool> bRecordMouseScroll;
extern std::atomic<bool> bRecordKeyboard;
extern std::atomic<float> fPlaybackSpeed;     // playback speed factor
extern std::atomic<int32_t> iLoopIntervalMs;  // pause between looped passes
extern std::atomic<bool> bUseRelativeMouse;   // record motion as relative steps
extern std::atomic<bool> bLoopSequence;       // playback repeats the recording
extern std::atomic<bool> isRecording;
extern std::atomic<bool> isPlaying;
extern std::atomic<bool> g_StopToolsWithMacro;  // ending a recording or playback stops the tools
extern std::vector<MacroProfile> profiles;      // guarded by profileMutex
extern int32_t currentProfileIdx;               // guarded by profileMutex
extern std::mutex profileMutex;
extern int32_t g_ContinueUndoProfile;                   // profile of the last appending recording
extern std::vector<UnifiedEvent> g_ContinueUndoBefore;  // events before that recording
extern std::vector<UnifiedEvent> g_ContinueUndoAfter;   // events as that recording left them
extern size_t g_RecordFirstNewIdx;                      // first event of the current recording
extern std::atomic<int64_t> g_RecordStart;              // steady-clock ns at recording start

// ---- hotkey control ----
extern std::atomic<bool> g_HotkeysEnabled;
extern std::atomic<bool> g_HotkeyLockEnabled;  // the unlock key gates the hotkeys
extern std::atomic<bool> g_HotkeysUnlocked;
extern std::atomic<int32_t> vkUnlock;
extern std::atomic<bool> g_HoldModeAuto;  // the hotkey runs the tool only while held
extern std::atomic<bool> g_HoldModeKeySpam;
extern std::atomic<int32_t> currentReassign;      // binding the next key press is captured for
extern std::atomic<int32_t> capturedReassignKey;  // consumed by the signal processor
extern std::atomic<bool> g_PanelHoverActive;

// Codes of currentReassign.
enum ReassignCode : int32_t {
    kReassignNone = 0,
    kReassignRecord = 1,
    kReassignPlay = 2,
    kReassignAutoClicker = 3,
    kReassignKeySpamHotkey = 4,
    kReassignKeySpamTarget = 5,
    kReassignUnlock = 6,
};

// ---- trigger flags: set, then WakeSignalProcessor(); consumed only by ProcessSignals ----
extern std::atomic<bool> triggerAutoClicker;
extern std::atomic<bool> triggerAutoClickStart;
extern std::atomic<bool> triggerAutoClickStop;
extern std::atomic<bool> triggerKeySpam;
extern std::atomic<bool> triggerKeySpamStart;
extern std::atomic<bool> triggerKeySpamStop;
extern std::atomic<bool> triggerRecord;
extern std::atomic<bool> triggerRecordStart;
extern std::atomic<bool> triggerRecordStop;
extern std::atomic<bool> triggerRecordContinue;
extern std::atomic<bool> triggerUndoContinue;
extern std::atomic<bool> triggerPlay;
extern std::atomic<bool> triggerPlayStart;
extern std::atomic<bool> triggerPlayStop;

// ---- wake events ----
struct WakeEvent {
    std::atomic<bool> flag{false};  // set while a wake is pending
    std::mutex mutex;
    std::condition_variable cv;
};
extern WakeEvent g_SignalWake;
extern WakeEvent g_AutoClickWake;
extern WakeEvent g_KeySpamWake;
extern WakeEvent g_PlaybackWake;

void WakeSignalProcessor();
// A request as every producer makes it: the flag, then the wake.
void RaiseRequest(std::atomic<bool>& trigger);
void WakeAutoClickThread();
void WakeKeySpamThread();
void WakePlaybackThread();

// Blocks until the event is woken or g_AppRunning is false; consumes the wake.
void IdleWait(WakeEvent& event);
// Waits the given milliseconds, returning early on a wake (consumed) or when the app stops.
void WaitIntervalOrWake(WakeEvent& event, double intervalMs);
// Waits until a steady-clock time in nanoseconds; true when a wake (consumed) ended it early.
// Sleeps until shortly before the deadline and watches the clock for the rest.
bool WaitUntilOrWake(WakeEvent& event, int64_t deadlineNs);
// Sleeps until a steady-clock time in nanoseconds, punctually, whatever wakes come.
void SleepUntilNs(int64_t deadlineNs);
// The next due time of a tool's fixed schedule, from when the last action was due and when it
// happened: one interval after the due time, so the time an action takes never stretches the
// period; after a late action (a stall), one interval after it happened, so the schedule
// restarts instead of catching up in a burst.
int64_t NextDueNs(int64_t dueNs, int64_t actedNs, int64_t intervalNs);

// Interval of a tool in whole milliseconds, at least 1.
int64_t ToolIntervalMs(int32_t hours, int32_t mins, int32_t secs, int32_t ms);

int64_t SteadyNowNs();
void MarkRecordStartTime();
double RecordElapsedSeconds();

// Puts every setting and state variable back to its start value (tests, and a clean start).
void ResetToolStateForTest();
