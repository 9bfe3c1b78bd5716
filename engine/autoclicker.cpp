#include "engine/autoclicker.h"

#include "engine/humanize.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "state/humanize.h"
#include "state/tool_state.h"

#include <cmath>

namespace {

void Click(int button, int clickCount) {
    OsMouseButton(button, true, clickCount);
    OsMouseButton(button, false, clickCount);
}

// Measured from when the server has the first click, so a busy server cannot bring the two
// clicks of a double click closer together.
void WaitDoubleClickGap() {
    OsInputSync();
    SleepUntilNs(SteadyNowNs() + kDoubleClickGapMs * 1000000);
}

void DoubleClick(int button) {
    Click(button, 1);
    WaitDoubleClickGap();
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

int64_t ClickerIntervalMs() {
    return ToolIntervalMs(autoClickIntervalHours.load(), autoClickIntervalMins.load(),
                          autoClickIntervalSecs.load(), autoClickIntervalMs.load());
}

// The release waits for the server to have the press, so a busy server cannot take the two
// together; the hold itself counts from the press.
void HeldClick(int button, SpanMs hold) {
    const int64_t holdNs = DrawNs(hold);
    const int64_t pressedAt = SteadyNowNs();
    OsMouseButton(button, true, 1);
    if (holdNs > 0) {
        OsInputSync();
        SleepUntilNs(pressedAt + holdNs);
    }
    OsMouseButton(button, false, 1);
}

void MoveToDrawnPoint() {
    int screenWidth = 0, screenHeight = 0;
    OsScreenSize(screenWidth, screenHeight);
    const int32_t fixedX = autoClickFixedX.load();
    const int32_t fixedY = autoClickFixedY.load();
    const ClickArea area =
        AreaFromSettings(humanizeAreaMode.load(), humanizeAreaX.load(), humanizeAreaY.load(),
                         humanizeAreaWidth.load(), humanizeAreaHeight.load(),
                         humanizeAreaRadius.load(), fixedX, fixedY, screenWidth, screenHeight);
    int32_t x = fixedX, y = fixedY;
    if (area.right >= area.left) DrawPoint(area, x, y);
    OsMoveMouseTo(x, y);
}

// A click as ClickOnce makes it, spread and held as the humanize settings say; returns the
// interval drawn to the next one.
int64_t HumanClickOnce() {
    const int64_t intervalMs = ClickerIntervalMs();
    const int64_t jitterMs = EffectiveJitterMs(humanizeClickJitterMs.load(), intervalMs);
    if (autoClickLocationMode.load() == 1) MoveToDrawnPoint();
    const int button = autoClickerButtonIdx.load();
    const bool doubleClick = autoClickClickType.load() == 1;
    const SpanMs hold =
        HoldSpan(humanizeHoldMs.load(), humanizeHoldJitterMs.load(), intervalMs - jitterMs,
                 doubleClick, std::llround(PlatformDoubleClickSeconds() * 1000.0));
    if (button >= 0 && button <= 2) {
        HeldClick(button, hold);
        if (doubleClick) {
            WaitDoubleClickGap();
            HeldClick(button, hold);
        }
    }
    currentClickCount.fetch_add(1);
    return DrawIntervalNs(intervalMs, jitterMs);
}

}  // namespace

void AutoClickerThread() {
    OsNameThread("QLN autoclicker");
    OsRaiseToUserInteractive();
    SeedHumanizeDraws(1);
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
        int64_t intervalNs = 0;
        if (humanizeClicker.load(std::memory_order_relaxed)) {
            intervalNs = HumanClickOnce();
        } else {
            ClickOnce();
            intervalNs = ClickerIntervalMs() * 1000000;
        }
        dueAt = NextDueNs(dueAt, actedAt, intervalNs);
        if (WaitUntilOrWake(g_AutoClickWake, dueAt)) dueAt = SteadyNowNs();
    }
}
