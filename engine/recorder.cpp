#include "engine/recorder.h"

#include "platform/input.h"
#include "state/tool_state.h"

#include <limits>

namespace {

bool IsButtonPress(const UnifiedEvent& event) {
    if (event.type != kEventButton) return false;
    const uint64_t flags = event.mouseFlags;
    return flags == kMouseLeftDown || flags == kMouseRightDown || flags == kMouseMiddleDown ||
           flags == kMouseSideDown;
}

// The last old press (latest time, later in the list on ties) and the first new press
// (earliest time, earlier in the list on ties); -1 when there is none.
long LastPressBefore(const std::vector<UnifiedEvent>& list, size_t end) {
    long found = -1;
    for (size_t i = 0; i < end; ++i) {
        if (IsButtonPress(list[i]) && (found < 0 || list[i].time >= list[found].time)) {
            found = static_cast<long>(i);
        }
    }
    return found;
}

long FirstPressFrom(const std::vector<UnifiedEvent>& list, size_t begin) {
    long found = -1;
    for (size_t i = begin; i < list.size(); ++i) {
        if (IsButtonPress(list[i]) && (found < 0 || list[i].time < list[found].time)) {
            found = static_cast<long>(i);
        }
    }
    return found;
}

}  // namespace

void RecordEvent(const UnifiedEvent& event) {
    std::lock_guard<std::mutex> lock(profileMutex);
    // Capture tests isRecording before taking the lock; the recording may have ended since,
    // and nothing may be added once its events were retimed.
    if (!isRecording.load()) return;
    if (currentProfileIdx < 0 || static_cast<size_t>(currentProfileIdx) >= profiles.size()) return;
    profiles[static_cast<size_t>(currentProfileIdx)].events.push_back(event);
}

void RetimeRecordedEvents(std::vector<UnifiedEvent>& list, size_t firstNew, double gap,
                          double minSameButtonGap) {
    const size_t n = list.size();
    if (n <= firstNew) return;
    double base = 0.0;
    if (firstNew > 0) {
        double largestOld = -std::numeric_limits<double>::infinity();
        for (size_t i = 0; i < firstNew; ++i) {
            if (list[i].time > largestOld) largestOld = list[i].time;
        }
        base = gap + largestOld;
    }
    double smallestNew = std::numeric_limits<double>::infinity();
    for (size_t i = firstNew; i < n; ++i) {
        if (list[i].time < smallestNew) smallestNew = list[i].time;
    }
    double shift = smallestNew - base;
    if (firstNew > 0 && minSameButtonGap > 0.0) {
        const long a = LastPressBefore(list, firstNew);
        const long b = FirstPressFrom(list, firstNew);
        if (a >= 0 && b >= 0 && list[a].mouseFlags == list[b].mouseFlags) {
            const double d = (list[b].time - shift) - list[a].time;
            if (d < minSameButtonGap) shift -= (minSameButtonGap - d);
        }
    }
    for (size_t i = firstNew; i < n; ++i) list[i].time -= shift;
}

void FinishRecording() {
    const double minSameButtonGap = PlatformDoubleClickSeconds() + 0.05;
    std::lock_guard<std::mutex> lock(profileMutex);
    if (currentProfileIdx >= 0 && static_cast<size_t>(currentProfileIdx) < profiles.size()) {
        auto& events = profiles[static_cast<size_t>(currentProfileIdx)].events;
        RetimeRecordedEvents(events, g_RecordFirstNewIdx, 0.1, minSameButtonGap);
        if (g_ContinueUndoProfile >= 0) g_ContinueUndoAfter = events;
    }
    g_RecordFirstNewIdx = 0;
}
