#pragma once

// What the publisher signs of an installed bundle folder, and the check of that signature.

#include <optional>
#include <string>

// Lower-case hex SHA-256 of a file's bytes; empty when it cannot be read.
std::string Sha256FileHexLower(const std::string& path);

// For every entry below the folder except bundle.sig, sorted by relative path bytes, the line
// "path NUL type NUL mode NUL size NUL sha256 LF": type f, l or d, mode the permission bits in
// octal, size in bytes (a link's is its target's length, a folder's 0), and the SHA-256 of the
// contents (of a link's target text; of nothing for a folder). Nothing for an entry of any other
// type, or one that cannot be read.
std::optional<std::string> BundleDigest(const std::string& folder);

// Whether the folder's bundle.sig holds the release key's signature over its digest.
bool BundleSignedByPublisher(const std::string& folder);
