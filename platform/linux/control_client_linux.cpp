#include "platform/control.h"
#include "platform/linux/control_socket.h"
#include "platform/shell.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kClientWaitMs = 5000;

bool ReadAnswer(int fd, std::string& answer) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kClientWaitMs);
    std::string got;
    char buffer[4096];
    while (got.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd fd_{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&fd_, 1, int(left.count())) <= 0) return false;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        got.append(buffer, static_cast<size_t>(n));
    }
    answer = got.substr(0, got.find('\n'));
    return true;
}

}  // namespace

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int ConnectTo(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string OsControlSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/quillon/control";
    return OsDataDir() + "/control";
}

ControlSendResult OsSendControlRequest(const std::string& path, const std::string& request,
                                       std::string& answer) {
    const int fd = ConnectTo(path);
    if (fd < 0) return ControlSendResult::kNoInstance;
    const std::string line = request + "\n";
    const bool sent =
        send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    const bool answered = sent && ReadAnswer(fd, answer);
    close(fd);
    return answered ? ControlSendResult::kAnswered : ControlSendResult::kFailed;
}
