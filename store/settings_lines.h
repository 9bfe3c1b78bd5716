#pragma once

// The profile settings line (20 fields) and the full settings line (36 fields): the tool
// settings as the session file keeps them. Readers accept the older, shorter layouts and stop
// at the first field that does not convert, keeping what they read before it.

#include <string>

std::string SerializeProfileSettings();
void DeserializeProfileSettings(const std::string& line);
std::string SerializeSettings();
void DeserializeSettings(const std::string& line);

// Live key spammer targets as decimal codes joined by '|'; at most three are read back and
// pieces that are not numbers are skipped.
std::string SerializeKeySpamTargetList();
void DeserializeKeySpamTargetList(const std::string& text);

// Auto clicker and key spammer settings back to their start values; hotkeys and recorder
// settings stay.
void ResetSpammerKeySpamDefaults();
