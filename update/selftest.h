#pragma once

#include <string>

// Checks the manifest rules against a vectors file. Fills report with the text to print before
// the verdict line; returns true when every case passed.
bool RunUpdateSelfTest(const std::string& vectorsPath, std::string& report);
