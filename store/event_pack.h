#pragma once

// A compact copy of an event list, quick to take while profileMutex is held and about a third
// of the size of the list itself, so that a save can format the text after letting go of the
// lock without doubling the memory the recordings take.

#include "state/types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct PackedEvents {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;  // events the buffer can take in the worst case
    size_t size = 0;      // bytes used
    size_t count = 0;     // events held
};

// A buffer for up to count events with the pages a typical recording needs already mapped, so
// that packing under the lock does not stop for page faults. Call it without the lock.
PackedEvents ReservePackedEvents(size_t count);
// Packs into a reserved buffer, or into a new one when it is too small.
void PackEventsInto(const std::vector<UnifiedEvent>& events, PackedEvents& packed);
PackedEvents PackEvents(const std::vector<UnifiedEvent>& events);

// Walks the packed events in order.
struct PackedEventReader {
    const uint8_t* next = nullptr;
    size_t left = 0;
};
PackedEventReader ReadPackedEvents(const PackedEvents& packed);
bool NextPackedEvent(PackedEventReader& reader, UnifiedEvent& event);
