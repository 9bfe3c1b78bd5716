#pragma once

#include <string>

// Zips a bundle folder for publishing: one top entry named like the folder, every file, folder
// and link below it with its permission bits. False with error set on any failure.
bool WriteBundleZip(const std::string& folder, const std::string& zipPath, std::string& error);
