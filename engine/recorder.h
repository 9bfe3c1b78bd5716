#pragma once

#include "state/types.h"

#include <cstddef>
#include <vector>

// Appends a captured event to the active profile, unless the recording has ended meanwhile.
void RecordEvent(const UnifiedEvent& event);
// Ends a recording's bookkeeping: retimes the new events and remembers the undo snapshot.
void FinishRecording();
// Shifts the events from firstNew on so that a fresh recording starts at 0.0 and an appended
// block starts gap seconds after the old events, keeping two same-button presses across the
// join at least minSameButtonGap apart.
void RetimeRecordedEvents(std::vector<UnifiedEvent>& list, size_t firstNew, double gap,
                          double minSameButtonGap);
