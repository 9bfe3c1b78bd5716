#pragma once

// One recorded event as a line of the session file: type, time, x, y, mouse flags, key, down,
// wheel, joined by commas. Times keep 6 significant digits.

#include "state/types.h"

#include <string>
#include <string_view>

// Appends the line without its line feed.
void AppendEventLine(std::string& out, const UnifiedEvent& event);
// False when a field is missing or does not convert; fields past the eighth are ignored.
bool ParseEventLine(std::string_view line, UnifiedEvent& event);
