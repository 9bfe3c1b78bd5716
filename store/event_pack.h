#pragma once

// A compact copy of an event list, quick to take while profileMutex is held and about a third
// of the size of the list itself, so that a save can format the text after letting go of the
// lock without doubling the memory the recordings take.

#include "app/types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct PackedEvents {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;  // bytes used
    size_t count = 0; // events held
};

PackedEvents PackEvents(const std::vector<UnifiedEvent>& events);

// Walks the packed events in order.
struct PackedEventReader {
    const uint8_t* next = nullptr;
    size_t left = 0;
};
PackedEventReader ReadPackedEvents(const PackedEvents& packed);
bool NextPackedEvent(PackedEventReader& reader, UnifiedEvent& event);
