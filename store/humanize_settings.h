#pragma once

// The humanize settings in appsettings.txt (one line per setting, after the sixteen older
// lines) and in the two page bindings that read and change them.

#include <string>
#include <string_view>

// Appends "name=value" lines in the settings' order.
void AppendHumanizeLines(std::string& out);
// Applies a line of the settings file when its key is a humanize setting, and says whether it
// was; a value that does not convert leaves the setting as it was.
bool ApplyHumanizeLine(std::string_view key, std::string_view value);
// The settings as one JSON object in their order, and whether a rectangle is being picked.
std::string BuildHumanizeJson();
// Ten comma-separated integers in the settings' order, with the rules of the auto clicker's
// update record: too few fields change nothing, a bad field ends the update there. True when
// every field was stored.
bool ApplyHumanizeUpdate(const std::string& record);

// Native side of setHumanize: applies the flattened record and writes the settings file when
// the whole record was stored.
void BindSetHumanize(const std::string& record);
// Native side of getHumanize; a rectangle picked since the last write is written first.
std::string BindGetHumanize(const std::string& request);
