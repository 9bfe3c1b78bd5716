#pragma once

// The update install started from the page. It runs on a worker thread of its own and ends the
// page's call through complete (one sentence for the page), unless the application is ending.

#include <functional>
#include <string>

using CompleteUpdateCall = std::function<void(const std::string& message)>;

// Re-checks the manifest, downloads and stages the update, then has the UI thread swap the
// bundles and end the application; every refusal completes the call with its sentence.
void RunUpdateInstallFlow(const CompleteUpdateCall& complete);
