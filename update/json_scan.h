#pragma once

#include <string>

namespace UpdateCore {

// Lenient member readers for the manifest and the self-test vectors: they look for the quoted
// key anywhere in the text and never fail, so a missing or odd member reads as empty or as the
// default.

// The string value after "key": with \t, \r and \n resolved and any other escaped character
// taken as itself. Empty when the member is missing.
std::string ExtractJsonStringField(const std::string& json, const std::string& key);

// true or false when the value after "key": (after spaces) starts with that literal, else
// defaultValue.
bool ExtractJsonBoolField(const std::string& json, const std::string& key, bool defaultValue);

}  // namespace UpdateCore
