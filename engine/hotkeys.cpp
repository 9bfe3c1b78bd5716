#include "engine/hotkeys.h"

#include "engine/recorder.h"
#include "platform/keys.h"
#include "platform/tap.h"
#include "state/humanize.h"
#include "state/tool_state.h"
#include "store/profiles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

std::array<bool, 256> isKeyDownTracker{};
std::array<bool, 256> isMouseKeyTracker{};
std::array<bool, 256> swallowedKey{};
std::array<bool, 256> swallowedMouse{};
std::array<bool, 256> droppedPress{};
double lastCursorX = NAN;
double lastCursorY = NAN;
std::atomic<bool> g_ResetTrackers{false};

constexpr int kMouseVks[] = {1, 2, 4, 5, 6};

bool ValidVk(int vk) { return vk > 0 && vk < 256; }

bool IsMouseVk(int vk) {
    for (int mouse : kMouseVks) {
        if (vk == mouse) return true;
    }
    return false;
}

bool Recording() { return isRecording.load(); }

void Capture(int vk) {
    capturedReassignKey.exchange(vk);
    WakeSignalProcessor();
}

void RecordKey(int vk, bool down) {
    if (!Recording() || !bRecordKeyboard.load()) return;
    UnifiedEvent event;
    event.type = kEventKey;
    event.time = RecordElapsedSeconds();
    event.key = vk;
    event.down = down;
    RecordEvent(event);
}

uint64_t MouseFlagsFor(int vk, bool down) {
    switch (vk) {
        case 1:
            return down ? kMouseLeftDown : kMouseLeftUp;
        case 2:
            return down ? kMouseRightDown : kMouseRightUp;
        case 4:
            return down ? kMouseMiddleDown : kMouseMiddleUp;
        default:
            return down ? uint64_t{kMouseSideDown} : uint64_t{0};  // side buttons: presses only
    }
}

void RecordButton(int vk, bool down, double x, double y) {
    if (!Recording() || !bRecordMouseClicks.load()) return;
    const uint64_t flags = MouseFlagsFor(vk, down);
    if (flags == 0) return;
    UnifiedEvent event;
    event.type = kEventButton;
    event.time = RecordElapsedSeconds();
    event.x = std::llround(x);
    event.y = std::llround(y);
    event.mouseFlags = flags;
    RecordEvent(event);
}

// A move whose position was not asked for (NaN) leaves the last position unknown, so the
// next known one is recorded. A relative step is how far the pointer went on the screen, which
// is right for absolute devices (tablets, virtual machines) too. Without a known last position
// it is the device's own step, unless the device reported the very place the pointer is at:
// that is an absolute device, whose first step cannot be known and is left out.
void OnMove(const TapEvent& move) {
    const bool known = !std::isnan(move.x) && !std::isnan(move.y);
    const bool lastKnown = !std::isnan(lastCursorX) && !std::isnan(lastCursorY);
    if (Recording() && bRecordMouseMovement.load()) {
        UnifiedEvent event;
        event.time = RecordElapsedSeconds();
        if (!bUseRelativeMouse.load()) {
            event.type = kEventAbsoluteMove;
            event.x = known ? std::llround(move.x) : 0;
            event.y = known ? std::llround(move.y) : 0;
            const bool moved = !lastKnown || event.x != std::llround(lastCursorX) ||
                               event.y != std::llround(lastCursorY);
            if (known && moved) RecordEvent(event);
        } else {
            event.type = kEventRelativeMove;
            const bool absoluteReport =
                known && move.dx == std::llround(move.x) && move.dy == std::llround(move.y);
            if (known && lastKnown) {
                event.x = std::llround(move.x) - std::llround(lastCursorX);
                event.y = std::llround(move.y) - std::llround(lastCursorY);
            } else if (!absoluteReport) {
                event.x = move.dx;
                event.y = move.dy;
            }
            if (event.x != 0 || event.y != 0) RecordEvent(event);
        }
    }
    lastCursorX = move.x;
    lastCursorY = move.y;
}

void OnWheel(int lines) {
    if (!Recording() || !bRecordMouseScroll.load() || lines == 0) return;
    UnifiedEvent event;
    event.type = kEventWheel;
    event.time = RecordElapsedSeconds();
    event.wheel = lines * 120;
    RecordEvent(event);
}

bool PickLocation(int vk, double x, double y) {
    if (vk == 2 || vk == 4) {
        isPickingLocation.exchange(false);
        return true;
    }
    autoClickFixedX.exchange(static_cast<int32_t>(std::lround(x)));
    autoClickFixedY.exchange(static_cast<int32_t>(std::lround(y)));
    autoClickLocationMode.store(1);
    isPickingLocation.exchange(false);
    SnapshotActiveProfileSettings();
    return true;
}

// The area is dragged out like the point is picked: the left press sets one corner, its
// release the opposite one; right or middle cancels. A drag without width or height leaves the
// area as it was.
bool PickArea(int vk, bool down, double x, double y) {
    static int32_t anchorX = 0, anchorY = 0;  // tap thread only
    const int32_t px = static_cast<int32_t>(std::lround(x));
    const int32_t py = static_cast<int32_t>(std::lround(y));
    if (vk == 2 || vk == 4) {
        if (down) humanizeAreaPick.exchange(0);
        return down;
    }
    if (down && humanizeAreaPick.load() == 1) {
        anchorX = px;
        anchorY = py;
        humanizeAreaPick.store(2);
        return true;
    }
    if (down || humanizeAreaPick.load() != 2) return down;
    if (px != anchorX && py != anchorY) {
        humanizeAreaX.store(std::min(px, anchorX));
        humanizeAreaY.store(std::min(py, anchorY));
        humanizeAreaWidth.store(std::abs(px - anchorX));
        humanizeAreaHeight.store(std::abs(py - anchorY));
        humanizeAreaMode.store(1);
        RefreshHumanizeSwitches();
        humanizeAreaUnsaved.store(true);
        autoClickLocationMode.store(1);
        SnapshotActiveProfileSettings();
    }
    humanizeAreaPick.exchange(0);
    return true;
}

bool HotkeysLocked() { return g_HotkeyLockEnabled.load() && !g_HotkeysUnlocked.load(); }

void AddHotkey(SwallowSet& set, int vk) {
    if (!ValidVk(vk)) return;
    if (IsMouseVk(vk)) {
        set.buttons.push_back(vk);
    } else {
        set.keys.push_back(vk);
    }
}

}  // namespace

bool TapWantsMovePositions() { return Recording() && bRecordMouseMovement.load(); }

bool TapWantsPointerBase() {
    return TapWantsMovePositions() && (std::isnan(lastCursorX) || std::isnan(lastCursorY));
}

void TapSetPointerBase(double x, double y) {
    lastCursorX = x;
    lastCursorY = y;
}

bool HandleHotkeyDown(int vk) {
    if (vk == vkUnlock.load() && g_HotkeyLockEnabled.load()) {
        const bool nowUnlocked = !g_HotkeysUnlocked.load();
        g_HotkeysUnlocked.store(nowUnlocked);
        if (!nowUnlocked) {
            triggerAutoClickStop.exchange(true);
            triggerKeySpamStop.exchange(true);
            triggerPlayStop.exchange(true);
        }
        WakeSignalProcessor();
        return true;
    }
    if (HotkeysLocked()) return false;
    std::atomic<bool>* trigger = nullptr;
    if (vk == vkRecord.load()) {
        trigger = &triggerRecord;
    } else if (vk == vkPlay.load()) {
        trigger = &triggerPlay;
    } else if (vk == vkAutoClicker.load()) {
        trigger = HoldModeAuto() ? &triggerAutoClickStart : &triggerAutoClicker;
    } else if (vk == vkKeySpamHotkey.load()) {
        trigger = HoldModeKeySpam() ? &triggerKeySpamStart : &triggerKeySpam;
    }
    if (!trigger) return false;
    RaiseRequest(*trigger);
    return true;
}

// In hold mode a tool runs only while its hotkey is down.
void OnHotkeyReleased(int vk) {
    std::atomic<bool>* trigger = nullptr;
    if (vk == vkAutoClicker.load() && HoldModeAuto()) {
        trigger = &triggerAutoClickStop;
    } else if (vk == vkKeySpamHotkey.load() && HoldModeKeySpam()) {
        trigger = &triggerKeySpamStop;
    }
    if (trigger) RaiseRequest(*trigger);
}

bool HoldModeAuto() { return g_HoldModeAuto.load(); }
bool HoldModeKeySpam() { return g_HoldModeKeySpam.load(); }

bool OnKey(int vk, bool down) {
    if (!ValidVk(vk)) return false;
    if (down) {
        if (currentReassign.load() != 0) {
            Capture(vk);
            return true;
        }
        if (!isKeyDownTracker[vk]) {
            isKeyDownTracker[vk] = true;
            if (g_HotkeysEnabled.load() && HandleHotkeyDown(vk)) {
                swallowedKey[vk] = true;
                return true;
            }
        } else if (swallowedKey[vk]) {
            return true;
        }
    } else {
        isKeyDownTracker[vk] = false;
        if (swallowedKey[vk]) {
            swallowedKey[vk] = false;
            OnHotkeyReleased(vk);
            return true;
        }
    }
    RecordKey(vk, down);
    return false;
}

bool OnMouseButton(int vk, bool down, double x, double y) {
    if (!ValidVk(vk)) return false;
    if (humanizeAreaPick.load() != 0 && vk != 5 && vk != 6) return PickArea(vk, down, x, y);
    if (down && isPickingLocation.load() && vk != 5 && vk != 6) return PickLocation(vk, x, y);
    const int32_t reassign = currentReassign.load();
    if (down && reassign != 0 && reassign != kReassignKeySpamTarget &&
        !(vk == 1 && reassign == kReassignUnlock)) {
        Capture(vk);
        return true;
    }
    if (down && !isMouseKeyTracker[vk]) {
        isMouseKeyTracker[vk] = true;
        if (g_HotkeysEnabled.load() && HandleHotkeyDown(vk)) {
            swallowedMouse[vk] = true;
            return true;
        }
    }
    if (down && Recording()) {
        droppedPress[vk] = OsIsOwnWindowAt(x, y);
        if (droppedPress[vk]) return false;
    }
    if (!down) {
        isMouseKeyTracker[vk] = false;
        if (swallowedMouse[vk]) {
            swallowedMouse[vk] = false;
            OnHotkeyReleased(vk);
            return true;
        }
        if (Recording() && droppedPress[vk]) {
            droppedPress[vk] = false;
            return false;
        }
    }
    RecordButton(vk, down, x, y);
    return false;
}

void ClearTapTrackers() {
    lastCursorX = lastCursorY = NAN;
    isKeyDownTracker.fill(false);
    isMouseKeyTracker.fill(false);
    swallowedKey.fill(false);
    swallowedMouse.fill(false);
}

void ResetTapTrackersOnNextEvent() { g_ResetTrackers.store(true); }

bool TapCallback(const TapEvent& event) {
    if (g_ResetTrackers.exchange(false)) ClearTapTrackers();
    switch (event.kind) {
        case TapEvent::kKey:
            return OnKey(event.vk, event.down);
        case TapEvent::kButton:
            return OnMouseButton(event.vk, event.down, event.x, event.y);
        case TapEvent::kMove:
            OnMove(event);
            return false;
        case TapEvent::kWheel:
            OnWheel(event.wheelLines);
            return false;
    }
    return false;
}

void InputTapOnSessionLocked() {
    // Keys held while the session locks never send their release to us.
    ResetTapTrackersOnNextEvent();
    if (HoldModeAuto()) triggerAutoClickStop.exchange(true);
    if (HoldModeKeySpam()) triggerKeySpamStop.exchange(true);
    WakeSignalProcessor();
}

SwallowSet CurrentSwallowSet() {
    SwallowSet set;
    const int32_t reassign = currentReassign.load();
    const bool reassignPending = reassign != 0 && capturedReassignKey.load() == 0;
    set.wholeKeyboard = reassignPending;
    set.pickingPointer = isPickingLocation.load() || humanizeAreaPick.load() != 0;
    if (reassignPending && reassign != kReassignKeySpamTarget) {
        for (int vk : kMouseVks) {
            if (!(vk == 1 && reassign == kReassignUnlock)) set.buttons.push_back(vk);
        }
    }
    if (g_HotkeysEnabled.load()) {
        if (g_HotkeyLockEnabled.load()) AddHotkey(set, vkUnlock.load());
        if (!HotkeysLocked()) {
            for (int vk :
                 {vkRecord.load(), vkPlay.load(), vkAutoClicker.load(), vkKeySpamHotkey.load()}) {
                AddHotkey(set, vk);
            }
        }
    }
    return set;
}
