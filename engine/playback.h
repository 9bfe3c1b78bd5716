#pragma once

// Macro playback: replays the active profile's recording on its own schedule.

#include "state/types.h"

#include <cstdint>
#include <vector>

// Thread body of "QLN playback". Idles until isPlaying is set, replays a copy of the active
// profile's events, and releases whatever it pressed once playing stops.
void PlaybackThread();

// The speed factor playback uses for a stored one: anything but a finite number above 0 plays
// at 1, and nothing plays faster than 100 times.
double PlaybackSpeedFrom(float stored);
// Offset of an event from the start of its pass, in nanoseconds; never negative, never beyond
// a year, whatever the stored time.
int64_t PlaybackOffsetNs(double eventTime, double speed);
