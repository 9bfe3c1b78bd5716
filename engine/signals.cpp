#include "engine/signals.h"

#include "engine/keyspammer.h"
#include "engine/recorder.h"
#include "platform/input.h"
#include "platform/tap.h"
#include "platform/thread.h"
#include "state/tool_state.h"

namespace {

bool Consume(std::atomic<bool>& flag) { return flag.exchange(false); }

void ResetUndoStateLocked() {
    g_ContinueUndoProfile = -1;
    g_ContinueUndoBefore.clear();
    g_ContinueUndoAfter.clear();
}

std::vector<UnifiedEvent>* ActiveEventsLocked() {
    if (currentProfileIdx < 0 || static_cast<size_t>(currentProfileIdx) >= profiles.size()) {
        return nullptr;
    }
    return &profiles[static_cast<size_t>(currentProfileIdx)].events;
}

void StartFreshRecording() {
    std::lock_guard<std::mutex> lock(profileMutex);
    ResetUndoStateLocked();
    if (auto* events = ActiveEventsLocked()) events->clear();
    g_RecordFirstNewIdx = 0;
    MarkRecordStartTime();
    isRecording.store(true);
    // The tap learns where the pointer starts from, so the first relative step is measured.
    OsTapRefreshGrabs();
}

void StartAppendingRecording() {
    std::lock_guard<std::mutex> lock(profileMutex);
    ResetUndoStateLocked();
    auto* events = ActiveEventsLocked();
    if (events) g_ContinueUndoBefore = *events;
    g_ContinueUndoProfile = currentProfileIdx;
    g_RecordFirstNewIdx = events ? events->size() : 0;
    MarkRecordStartTime();
    isRecording.store(true);
    // The tap learns where the pointer starts from, so the first relative step is measured.
    OsTapRefreshGrabs();
}

void RequestToolStopsWithMacro() {
    if (!g_StopToolsWithMacro.load()) return;
    triggerAutoClickStop.store(true);
    triggerKeySpamStop.store(true);
}

void EndRecording() {
    isRecording.store(false);
    FinishRecording();
    RequestToolStopsWithMacro();
}

void ReleaseClickerButtons() {
    PlatformMouseButtonUp(0);
    PlatformMouseButtonUp(1);
    PlatformMouseButtonUp(2);
}

void EndPlayback() {
    isPlaying.store(false);
    PlatformMouseButtonUp(0);
    PlatformMouseButtonUp(1);
    RequestToolStopsWithMacro();
}

void ApplyCapturedReassignment() {
    const int32_t code = currentReassign.load();
    const int32_t key = capturedReassignKey.load();
    if (code == 0 || key == 0) return;
    if (key != 27) {  // Esc cancels
        switch (code) {
            case kReassignRecord:
                vkRecord.store(key);
                break;
            case kReassignPlay:
                vkPlay.store(key);
                break;
            case kReassignAutoClicker:
                vkAutoClicker.store(key);
                break;
            case kReassignKeySpamHotkey:
                vkKeySpamHotkey.store(key);
                break;
            case kReassignUnlock:
                vkUnlock.store(key);
                break;
            case kReassignKeySpamTarget:
                AppendKeySpamTarget(key);
                break;
            default:
                break;
        }
    }
    currentReassign.store(0);
    capturedReassignKey.store(0);
    // The captured key's grab, and the end of the whole-keyboard grab, take effect at once.
    OsTapRefreshGrabs();
}

void ProcessRecorderRequests() {
    if (Consume(triggerRecord) && !isPlaying.load()) {
        if (isRecording.load()) {
            EndRecording();
        } else {
            StartFreshRecording();
        }
    }
    if (Consume(triggerRecordStart) && !isPlaying.load() && !isRecording.load()) {
        StartFreshRecording();
    }
    if (Consume(triggerRecordContinue) && !isPlaying.load() && !isRecording.load()) {
        StartAppendingRecording();
    }
    if (Consume(triggerUndoContinue)) {
        std::lock_guard<std::mutex> lock(profileMutex);
        if (CanUndoContinueLocked()) {
            profiles[static_cast<size_t>(currentProfileIdx)].events = g_ContinueUndoBefore;
            ResetUndoStateLocked();
        }
    }
    if (Consume(triggerRecordStop) && isRecording.load()) EndRecording();
}

void ProcessPlaybackRequests() {
    if (Consume(triggerPlay) && !isRecording.load()) {
        const bool nowPlaying = !isPlaying.load();
        if (nowPlaying) {
            isPlaying.store(true);
        } else {
            EndPlayback();
        }
        WakePlaybackThread();
    }
    if (Consume(triggerPlayStart) && !isRecording.load() && !isPlaying.load()) {
        isPlaying.store(true);
        WakePlaybackThread();
    }
    if (Consume(triggerPlayStop) && !isRecording.load() && isPlaying.load()) {
        EndPlayback();
        WakePlaybackThread();
    }
}

void ProcessAutoClickerRequests() {
    if (Consume(triggerAutoClicker)) {
        const bool nowRunning = !isAutoClicking.load();
        isAutoClicking.store(nowRunning);
        if (!nowRunning) ReleaseClickerButtons();
        WakeAutoClickThread();
    }
    if (Consume(triggerAutoClickStart) && !isAutoClicking.load()) {
        isAutoClicking.store(true);
        WakeAutoClickThread();
    }
    if (Consume(triggerAutoClickStop) && isAutoClicking.load()) {
        isAutoClicking.store(false);
        ReleaseClickerButtons();
        WakeAutoClickThread();
    }
}

void ProcessKeySpammerRequests() {
    if (Consume(triggerKeySpam)) {
        if (!isKeySpamming.load()) {
            if (keySpamTargetCount.load() > 0) isKeySpamming.store(true);
        } else {
            isKeySpamming.store(false);
            ReleaseAllKeySpamTargets();
        }
        WakeKeySpamThread();
    }
    if (Consume(triggerKeySpamStart) && !isKeySpamming.load() && keySpamTargetCount.load() > 0) {
        isKeySpamming.store(true);
        WakeKeySpamThread();
    }
    if (Consume(triggerKeySpamStop) && isKeySpamming.load()) {
        isKeySpamming.store(false);
        ReleaseAllKeySpamTargets();
        WakeKeySpamThread();
    }
}

}  // namespace

void ProcessSignals() {
    const bool wasAutoClicking = isAutoClicking.load();
    const bool wasKeySpamming = isKeySpamming.load();
    ApplyCapturedReassignment();
    ProcessRecorderRequests();
    ProcessPlaybackRequests();
    ProcessAutoClickerRequests();
    ProcessKeySpammerRequests();
    if (isRecording.load()) {
        const bool autoClicking = isAutoClicking.load();
        if (autoClicking != wasAutoClicking) RecordToolToggle(kToolAutoClicker, autoClicking);
        const bool keySpamming = isKeySpamming.load();
        if (keySpamming != wasKeySpamming) RecordToolToggle(kToolKeySpammer, keySpamming);
    }
}

void SignalProcessorThread() {
    OsNameThread("QLN signals");
    OsRaiseToUserInteractive();
    while (g_AppRunning.load()) {
        ProcessSignals();
        IdleWait(g_SignalWake);
    }
}

void RecordToolToggle(int tool, bool on) {
    UnifiedEvent event;
    event.type = kEventToolSwitch;
    event.time = RecordElapsedSeconds();
    event.key = tool;
    event.down = on;
    std::lock_guard<std::mutex> lock(profileMutex);
    if (auto* events = ActiveEventsLocked()) events->push_back(event);
}

bool CanUndoContinueLocked() {
    if (g_ContinueUndoProfile != currentProfileIdx) return false;
    if (isRecording.load() || isPlaying.load()) return false;
    const auto* events = ActiveEventsLocked();
    if (!events) return false;
    return SameEventList(*events, g_ContinueUndoAfter);
}
