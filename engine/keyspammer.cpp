#include "engine/keyspammer.h"

#include "engine/humanize.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "state/humanize.h"
#include "state/tool_state.h"
#include "store/profiles.h"

namespace {

thread_local int t_SequencePosition = 0;

void RefreshFirstTarget() { vkKeySpamTarget.store(keySpamTargets[0].load()); }

bool BudgetUsedUp() {
    return keySpamRepeatMode.load() == 0 && currentKeySpamCount.load() >= keySpamRepeatTimes.load();
}

void PressChord(int count) {
    for (int i = 0; i < count; ++i) OsKeyVk(keySpamTargets[i].load(), true);
    for (int i = 0; i < count; ++i) OsKeyVk(keySpamTargets[i].load(), false);
}

void PressNextInSequence(int count) {
    const int vk = keySpamTargets[t_SequencePosition].load();
    OsKeyVk(vk, true);
    OsKeyVk(vk, false);
    t_SequencePosition = (t_SequencePosition + 1) % count;
}

// One tick; false when the spammer had to stop instead.
bool SpamOnce() {
    if (BudgetUsedUp()) {
        isKeySpamming.store(false);
        ReleaseAllKeySpamTargets();
        return false;
    }
    int count = keySpamTargetCount.load();
    if (count > kKeySpamSlots) count = kKeySpamSlots;
    if (count <= 0) {
        isKeySpamming.store(false);
        return false;
    }
    if (t_SequencePosition >= count || t_SequencePosition < 0) t_SequencePosition = 0;
    if (keySpamChordMode.load()) {
        PressChord(count);
    } else {
        PressNextInSequence(count);
    }
    currentKeySpamCount.fetch_add(1);
    return true;
}

}  // namespace

void KeySpammerThread() {
    OsNameThread("QLN key spammer");
    OsRaiseToUserInteractive();
    SeedHumanizeDraws(2);
    bool running = false;
    int64_t dueAt = 0;  // when the current action was due
    while (g_AppRunning.load()) {
        if (!isKeySpamming.load()) {
            running = false;
            currentKeySpamCount.store(0);
            IdleWait(g_KeySpamWake);
            continue;
        }
        if (!running) {
            // As for the auto clicker: a start's wake still pending must not cut the first
            // interval; the state is read again after it.
            g_KeySpamWake.flag.exchange(false);
            running = true;
            dueAt = SteadyNowNs();
            continue;
        }
        const int64_t actedAt = SteadyNowNs();
        if (!SpamOnce()) continue;
        const int64_t intervalMs =
            ToolIntervalMs(keySpamIntervalHours.load(), keySpamIntervalMins.load(),
                           keySpamIntervalSecs.load(), keySpamIntervalMs.load());
        const int64_t intervalNs = humanizeKeySpam.load(std::memory_order_relaxed)
                                       ? DrawIntervalNs(intervalMs, humanizeKeyJitterMs.load())
                                       : intervalMs * 1000000;
        dueAt = NextDueNs(dueAt, actedAt, intervalNs);
        if (WaitUntilOrWake(g_KeySpamWake, dueAt)) dueAt = SteadyNowNs();
    }
}

void AppendKeySpamTarget(int vk) {
    const int count = keySpamTargetCount.load();
    if (count >= kKeySpamCap || count < 0) return;
    keySpamTargets[count].exchange(vk);
    keySpamTargetCount.exchange(count + 1);
    RefreshFirstTarget();
    SnapshotActiveProfileSettings();
}

void RemoveKeySpamTarget(int index) {
    const int count = keySpamTargetCount.load();
    if (index < 0 || index >= count || count > kKeySpamSlots) return;
    for (int i = index; i + 1 < count; ++i)
        keySpamTargets[i].exchange(keySpamTargets[i + 1].load());
    keySpamTargetCount.exchange(count - 1);
    if (count == 1) {
        // The first-target copy keeps its value, so the page still shows the last key used.
        SnapshotActiveProfileSettings();
        if (isKeySpamming.load()) {
            triggerKeySpamStop.store(true);
            WakeSignalProcessor();
        }
        return;
    }
    RefreshFirstTarget();
    SnapshotActiveProfileSettings();
}

void ReleaseAllKeySpamTargets() {
    int count = keySpamTargetCount.load();
    if (count > kKeySpamSlots) count = kKeySpamSlots;
    for (int i = 0; i < count; ++i) OsKeyVk(keySpamTargets[i].load(), false);
}
