#pragma once

// Small text codecs shared by the page bridge and the files.

#include <string>
#include <vector>

// Cuts text at every separator byte the way a line reader does: no trailing empty piece,
// a leading or doubled separator gives an empty piece, the empty text gives no piece.
std::vector<std::string> SplitString(const std::string& text, char sep);
// Flattens the JSON array text of a binding call by deleting every '[', ']' and '"'.
// Escapes are not decoded.
std::string ParseJSString(std::string text);
// The text as a JSON string literal, quotes included.
std::string JsonEscapeForBind(const std::string& text);
// Appends "key":value to an object being built, with a comma after the first member.
void AppendJsonMember(std::string& out, const char* key, const std::string& value);
// The whole file, byte for byte; empty when it cannot be read.
std::string ReadFile(const std::string& path);
