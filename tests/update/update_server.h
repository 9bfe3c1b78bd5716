#pragma once

// The update server of the tests and benchmarks: tests/update/https_server.py on loopback with a
// certificate of a throwaway authority, the product hosts mapped to it for the updater (and for
// every child started afterwards) through the test builds' seams.

#include "tests/update/update_test.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

namespace UpdateTest {

struct UpdateServer {
    TempDir dir;
    std::string files = dir.File("files");
    FILE* server = nullptr;
    int port = 0, pid = 0;

    UpdateServer() {
        std::filesystem::create_directories(files);
        // One self-signed certificate for the product hosts, trusted as the authority.
        Shell("cd " + dir.path + " && openssl req -x509 -newkey ec -pkeyopt " +
              "ec_paramgen_curve:P-256 -nodes -keyout server.key -out ca.pem -days 2 -subj " +
              "/CN=quillon.app -addext subjectAltName=DNS:quillon.app,DNS:api.quillon.app," +
              "IP:127.0.0.1 2>/dev/null");
        // The server tells its port and its process id once it listens.
        const std::string command = "exec python3 " QLN_HTTPS_SERVER " " + dir.File("ca.pem") +
                                    " " + dir.File("server.key") + " " + files;
        server = popen(command.c_str(), "r");
        if (!server || std::fscanf(server, "%d %d", &port, &pid) != 2) port = 0;
        const std::string map = "127.0.0.1:" + std::to_string(port);
        setenv("QLN_TEST_CA_FILE", dir.File("ca.pem").c_str(), 1);
        setenv("QLN_TEST_CONNECT_TO",
               ("quillon.app:443:" + map + ",api.quillon.app:443:" + map).c_str(), 1);
    }
    ~UpdateServer() {
        if (pid > 0) kill(pid, SIGKILL);
        if (server) pclose(server);
    }
};

// Started on first use; lives as long as the process.
inline UpdateServer& Server() {
    static UpdateServer server;
    return server;
}

// A product-site URL served by the loopback server.
inline std::string Url(const std::string& path) {
    Server();
    return "https://quillon.app" + path;
}

}  // namespace UpdateTest
