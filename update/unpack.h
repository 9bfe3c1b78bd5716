#pragma once

// Unpacking an update archive into a folder of our own.

#include <string>

// Unpacks a zip archive into destination (an existing, empty folder), keeping permission bits.
// Refuses, leaving what was written for the caller to remove: absolute paths, "..", hard
// links, device files, fifos and sockets, symbolic links that lead out of the destination,
// writes through a link, more than 100,000 entries or more than 1 GiB unpacked.
bool UnpackZipArchive(const std::string& archive, const std::string& destination);
