#pragma once

// The one way the updater reaches the network: a bounded HTTPS GET.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// Bytes received so far and the declared total (0 when unknown); false stops the transfer.
using UpdateProgress = std::function<bool(uint64_t received, uint64_t total)>;

// Fetches an https URL (redirects only to https) into file, or into body when file is null.
// Refuses anything but status 200, a declared length above maxBytes before any body byte, and
// an undeclared one as soon as maxBytes is passed; 10 s to connect, 10 s without progress and
// 40 s in all (1800 s with a file). Progress comes at most every 0.1 s, and the report that
// completes a declared length always comes. True only for a whole body.
bool HttpsGet(const std::string& url, uint64_t maxBytes, FILE* file, const UpdateProgress* progress,
              std::string& body);
