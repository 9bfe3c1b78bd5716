#pragma once

// The tool settings as the page reads them (one JSON object) and the two update records the
// page sends for the auto clicker and the key spammer.

#include <string>

std::string BuildSettingsJson();
// Nine comma-separated integers: interval parts, button, click type, repeat mode and count,
// location mode. Too few fields change nothing; a bad field ends the update there.
void ApplySpammerUpdate(const std::string& record);
// Six comma-separated integers: interval parts, repeat mode and count.
void ApplyKeySpamUpdate(const std::string& record);
