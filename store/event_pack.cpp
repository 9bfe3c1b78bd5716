#include "store/event_pack.h"

#include <cstring>

namespace {

// Worst case per event: six 10-byte varints, the 8-byte time and the flag byte.
constexpr size_t kMaxPackedEvent = 6 * 10 + 8 + 1;
// Ordinary recordings take about 17 bytes per event; the last few pages fault in later.
constexpr size_t kTypicalPackedEvent = 16;
constexpr size_t kPageSize = 4096;

uint64_t ZigZag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

uint8_t* PutVarint(uint8_t* out, uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<uint8_t>(value);
    return out;
}

const uint8_t* GetVarint(const uint8_t* in, uint64_t& value) {
    value = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t byte = *in++;
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return in;
    }
}

}  // namespace

PackedEvents ReservePackedEvents(size_t count) {
    PackedEvents packed;
    if (count == 0) return packed;
    // Left uninitialised: only the pages written become resident.
    packed.bytes.reset(new uint8_t[count * kMaxPackedEvent]);
    packed.capacity = count;
    volatile uint8_t* touch = packed.bytes.get();
    const size_t typical = count * kTypicalPackedEvent;
    for (size_t at = 0; at < typical; at += kPageSize) touch[at] = 0;
    return packed;
}

PackedEvents PackEvents(const std::vector<UnifiedEvent>& events) {
    PackedEvents packed;
    PackEventsInto(events, packed);
    return packed;
}

void PackEventsInto(const std::vector<UnifiedEvent>& events, PackedEvents& packed) {
    packed.count = events.size();
    packed.size = 0;
    if (events.empty()) return;
    if (packed.capacity < events.size()) {
        packed.bytes.reset(new uint8_t[events.size() * kMaxPackedEvent]);
        packed.capacity = events.size();
    }
    uint8_t* out = packed.bytes.get();
    for (const UnifiedEvent& e : events) {
        out = PutVarint(out, ZigZag(e.type));
        std::memcpy(out, &e.time, sizeof e.time);
        out += sizeof e.time;
        out = PutVarint(out, ZigZag(e.x));
        out = PutVarint(out, ZigZag(e.y));
        out = PutVarint(out, e.mouseFlags);
        out = PutVarint(out, ZigZag(e.key));
        *out++ = e.down ? 1 : 0;
        out = PutVarint(out, ZigZag(e.wheel));
    }
    packed.size = static_cast<size_t>(out - packed.bytes.get());
}

PackedEventReader ReadPackedEvents(const PackedEvents& packed) {
    return PackedEventReader{packed.bytes.get(), packed.count};
}

bool NextPackedEvent(PackedEventReader& reader, UnifiedEvent& event) {
    if (reader.left == 0) return false;
    --reader.left;
    const uint8_t* in = reader.next;
    uint64_t value = 0;
    in = GetVarint(in, value);
    event.type = static_cast<int32_t>(UnZigZag(value));
    std::memcpy(&event.time, in, sizeof event.time);
    in += sizeof event.time;
    in = GetVarint(in, value);
    event.x = UnZigZag(value);
    in = GetVarint(in, value);
    event.y = UnZigZag(value);
    in = GetVarint(in, event.mouseFlags);
    in = GetVarint(in, value);
    event.key = static_cast<int32_t>(UnZigZag(value));
    event.down = *in++ != 0;
    in = GetVarint(in, value);
    event.wheel = static_cast<int32_t>(UnZigZag(value));
    reader.next = in;
    return true;
}
