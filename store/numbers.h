#pragma once

// Number conversions of the settings records and files. Reading follows the standard
// string-to-number conversions (leading blanks skipped, optional sign, stop at the first
// character that does not belong, no digits is a failure, out of range is a failure) but never
// depends on the process locale, which the toolkit may change after start-up.

#include <cstdint>
#include <string>
#include <string_view>

bool ParseInt32(std::string_view text, int32_t& out);
bool ParseInt64(std::string_view text, int64_t& out);
// A leading minus negates modulo 2^64, as the standard unsigned conversion does.
bool ParseUInt64(std::string_view text, uint64_t& out);
// What strtod and strtof read, hexadecimal forms, inf and nan included; a value they report out
// of range, too small included, is a failure.
bool ParseDouble(std::string_view text, double& out);
bool ParseFloat(std::string_view text, float& out);

// The default output-stream form: at most 6 significant digits, no trailing zeros.
std::string FormatStreamDouble(double value);
std::string FormatStreamFloat(float value);
// Appends the same form to out without a temporary string.
void AppendStreamDouble(std::string& out, double value);
