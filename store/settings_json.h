#pragma once

// The tool settings as the page reads them (one JSON object) and the two update records the
// page sends for the auto clicker and the key spammer.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

std::string BuildSettingsJson();
// Stores the comma-separated integers of a record into the fields in order, each right after
// it converts; nothing when there are fewer pieces than fields, and it stops at the first piece
// that does not convert. True when every field was stored.
bool ApplyIntRecord(const std::string& record, std::atomic<int32_t>* const* fields, size_t count);
// Nine comma-separated integers: interval parts, button, click type, repeat mode and count,
// location mode. Too few fields change nothing; a bad field ends the update there.
void ApplySpammerUpdate(const std::string& record);
// Six comma-separated integers: interval parts, repeat mode and count.
void ApplyKeySpamUpdate(const std::string& record);
// Eight comma-separated fields: the five recording flags (movement, clicks, wheel, keys,
// relative), playback speed, loop flag, loop interval in milliseconds. Flags are integers,
// nonzero for on; the speed must be a finite number. Too few fields change nothing; a bad field
// ends the update there.
void ApplyRecorderUpdate(const std::string& record);
// Two comma-separated flags: hold mode of the auto clicker hotkey, then of the key spammer's.
// Both must read, or nothing changes.
void ApplyHoldModes(const std::string& record);
