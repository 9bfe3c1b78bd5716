#pragma once

// The local control socket: other programs of the same user send one command per line and get
// one answer per line.

#include <functional>
#include <string>

// $XDG_RUNTIME_DIR/quillon/control, or the data folder's "control" without XDG_RUNTIME_DIR.
std::string OsControlSocketPath();

// Listens on the path on a thread of its own ("QLN control"), answering each line through
// answer, which also says whether the connection stays open. Peers of another user are refused;
// a line over 4 KiB is answered with an error and the connection closed; silent, slow and
// non-reading clients are dropped, and connections are capped. A stale socket file is replaced;
// a live one is never taken. False when it could not listen.
struct ControlAnswer {
    std::string line;
    bool keepOpen = true;
};
bool OsStartControlServer(const std::string& path,
                          std::function<ControlAnswer(const std::string& request)> answer);
void OsStopControlServer();

enum class ControlSendResult { kAnswered, kNoInstance, kFailed };
// Sends one request and reads the answer line (without its line feed).
ControlSendResult OsSendControlRequest(const std::string& path, const std::string& request,
                                       std::string& answer);
