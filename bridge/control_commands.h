#pragma once

// The commands other programs send over the control socket. Each goes through the same trigger
// flags and wakes as the hotkeys and the page's calls.

#include "platform/control.h"

#include <string>

// "toggle|start|stop clicker|keyspam|record|play", "status", "settings", "profile <index>".
// The answer is "ok", the JSON object asked for, or "error <reason>" (which ends the
// connection for a request that is not a command).
ControlAnswer AnswerControlRequest(const std::string& request);

// The socket's path and the server, started once the tools run.
bool StartControlServer();
