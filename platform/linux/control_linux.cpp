#include "platform/control.h"
#include "platform/linux/control_socket.h"

#include "platform/shell.h"
#include "platform/thread.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr size_t kLongestRequest = 4096;
constexpr size_t kMostUnsent = 256 * 1024;  // a client that does not read is dropped
constexpr size_t kMostConnections = 16;
constexpr int kIdleMs = 5000;

struct Connection {
    int fd = -1;
    std::string in;
    std::string out;
    bool closing = false;  // close once the answer is out
    std::chrono::steady_clock::time_point lastActive;
};

struct Server {
    int listenFd = -1;
    int wakeFd = -1;
    std::string path;
    std::function<ControlAnswer(const std::string&)> answer;
    std::vector<Connection> connections;
    std::thread thread;
};
Server* g_Server = nullptr;

bool SameUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == geteuid();
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// A socket file left by an instance that was killed is taken over; one that answers is not.
int ListenAt(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address)) return -1;
    const std::string folder = FolderOf(path);
    mkdir(folder.c_str(), 0700);
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        return -1;
    }
    chmod(folder.c_str(), 0700);
    const int live = ConnectTo(path);
    if (live >= 0) {
        close(live);
        return -1;
    }
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    const mode_t old = umask(0177);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(old);
    if (!bound || listen(fd, 64) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The least recently active connection makes room when all places are taken, so that silent
// clients cannot keep a real command out.
void MakeRoom(Server& server) {
    if (server.connections.size() < kMostConnections) return;
    auto oldest = server.connections.begin();
    for (auto it = server.connections.begin(); it != server.connections.end(); ++it) {
        if (it->lastActive < oldest->lastActive) oldest = it;
    }
    close(oldest->fd);
    server.connections.erase(oldest);
}

void AcceptPending(Server& server) {
    for (;;) {
        const int fd = accept4(server.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (!SameUser(fd)) {
            close(fd);
            continue;
        }
        MakeRoom(server);
        server.connections.push_back({fd, {}, {}, false, std::chrono::steady_clock::now()});
    }
}

void HandleLines(Server& server, Connection& connection) {
    for (size_t end;
         !connection.closing && (end = connection.in.find('\n')) != std::string::npos;) {
        std::string line = connection.in.substr(0, end);
        connection.in.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const ControlAnswer answer = server.answer(line);
        connection.out += answer.line + "\n";
        connection.closing = !answer.keepOpen;
    }
    if (!connection.closing && connection.in.size() > kLongestRequest) {
        connection.out += "error request too long\n";
        connection.closing = true;
    }
}

// False when the connection is done with.
bool ReadFrom(Server& server, Connection& connection) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(connection.fd, buffer, sizeof buffer);
        if (got == 0) return !connection.out.empty();
        if (got < 0) return errno == EAGAIN || errno == EINTR;
        connection.in.append(buffer, static_cast<size_t>(got));
        connection.lastActive = std::chrono::steady_clock::now();
        HandleLines(server, connection);
        if (connection.closing) return true;
    }
}

// False when the connection is to be closed: its answer is out and it asked to close, or it
// does not take what it is sent.
bool WriteTo(Connection& connection) {
    while (!connection.out.empty()) {
        const ssize_t sent =
            send(connection.fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            return (errno == EAGAIN || errno == EINTR) && connection.out.size() <= kMostUnsent;
        }
        connection.out.erase(0, static_cast<size_t>(sent));
        connection.lastActive = std::chrono::steady_clock::now();
    }
    return !connection.closing;
}

bool Serve(Server& server, Connection& connection, short events) {
    if ((events & POLLIN) && !ReadFrom(server, connection)) return false;
    if ((events & (POLLERR | POLLNVAL)) != 0 || !WriteTo(connection)) return false;
    const auto idle = std::chrono::steady_clock::now() - connection.lastActive;
    return idle < std::chrono::milliseconds(kIdleMs);
}

void ServeLoop(Server& server) {
    OsNameThread("QLN control");
    for (;;) {
        std::vector<pollfd> fds = {{server.wakeFd, POLLIN, 0}, {server.listenFd, POLLIN, 0}};
        for (const Connection& c : server.connections) {
            fds.push_back({c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        }
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) break;
        std::vector<Connection> kept;
        for (size_t i = 0; i < server.connections.size(); ++i) {
            Connection& c = server.connections[i];
            if (Serve(server, c, fds[i + 2].revents)) {
                kept.push_back(std::move(c));
            } else {
                close(c.fd);
            }
        }
        server.connections = std::move(kept);
        if (fds[1].revents & POLLIN) AcceptPending(server);
    }
    for (const Connection& c : server.connections) close(c.fd);
}

}  // namespace

bool OsStartControlServer(const std::string& path,
                          std::function<ControlAnswer(const std::string&)> answer) {
    if (g_Server) return true;
    const int listenFd = ListenAt(path);
    if (listenFd < 0) return false;
    auto* server = new Server;
    server->listenFd = listenFd;
    server->wakeFd = eventfd(0, EFD_CLOEXEC);
    server->path = path;
    server->answer = std::move(answer);
    server->thread = std::thread(ServeLoop, std::ref(*server));
    g_Server = server;
    return true;
}

void OsStopControlServer() {
    if (!g_Server) return;
    const uint64_t one = 1;
    // An eventfd counter cannot be full after one write; the loop sees it and ends.
    const ssize_t woken = write(g_Server->wakeFd, &one, sizeof one);
    (void)woken;
    g_Server->thread.join();
    close(g_Server->listenFd);
    close(g_Server->wakeFd);
    unlink(g_Server->path.c_str());
    delete g_Server;
    g_Server = nullptr;
}
