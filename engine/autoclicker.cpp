#include "engine/autoclicker.h"

#include "platform/input.h"
#include "platform/thread.h"
#include "state/tool_state.h"

namespace {

void Click(int button, int clickCount) {
    OsMouseButton(button, true, clickCount);
    OsMouseButton(button, false, clickCount);
}

// X has no click-count field: the server sees two clicks 15 ms apart, which is what turns
// them into a double click for the application.
void DoubleClick(int button) {
    Click(button, 1);
    // Measured from when the server has the first click, so a busy server cannot bring the
    // two closer together.
    OsInputSync();
    SleepUntilNs(SteadyNowNs() + 15000000);
    Click(button, 2);
}

bool BudgetUsedUp() {
    return autoClickRepeatMode.load() == 0 &&
           currentClickCount.load() >= autoClickRepeatTimes.load();
}

void ClickOnce() {
    if (autoClickLocationMode.load() == 1) {
        OsMoveMouseTo(autoClickFixedX.load(), autoClickFixedY.load());
    }
    const int button = autoClickerButtonIdx.load();
    if (button >= 0 && button <= 2) {
        if (autoClickClickType.load() == 1) {
            DoubleClick(button);
        } else {
            Click(button, 1);
        }
    }
    currentClickCount.fetch_add(1);
}

}  // namespace

void AutoClickerThread() {
    OsNameThread("QLN autoclicker");
    OsRaiseToUserInteractive();
    bool running = false;
    int64_t dueAt = 0;  // when the current action was due
    while (g_AppRunning.load()) {
        if (!isAutoClicking.load()) {
            running = false;
            currentClickCount.store(0);
            IdleWait(g_AutoClickWake);
            continue;
        }
        if (!running) {
            // The wake that started this run may still be pending when the thread was not idle
            // yet; left alone, it would cut the first interval short. The state is read again
            // after it, so a stop that came meanwhile is not missed.
            g_AutoClickWake.flag.exchange(false);
            running = true;
            dueAt = SteadyNowNs();
            continue;
        }
        if (BudgetUsedUp()) {
            isAutoClicking.exchange(false);
            continue;
        }
        const int64_t actedAt = SteadyNowNs();
        ClickOnce();
        const int64_t intervalNs =
            ToolIntervalMs(autoClickIntervalHours.load(), autoClickIntervalMins.load(),
                           autoClickIntervalSecs.load(), autoClickIntervalMs.load()) *
            1000000;
        dueAt = NextDueNs(dueAt, actedAt, intervalNs);
        if (WaitUntilOrWake(g_AutoClickWake, dueAt)) dueAt = SteadyNowNs();
    }
}
