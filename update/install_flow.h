#pragma once

// The update install started from the page. It runs on a worker thread of its own and ends the
// page's call through complete (one sentence for the page), unless the application is ending.

#include <functional>
#include <string>

void RunUpdateInstallFlow(const std::function<void(const std::string& message)>& complete);
