#pragma once

#include "tests/support/files.h"

// Every store test binary keeps its files under a fresh XDG_DATA_HOME and XDG_CONFIG_HOME,
// set before anything asks for the data directory.

#include <unistd.h>
#include <cstdlib>
#include <string>

inline const std::string& TestHome() {
    static const std::string home = [] {
        char dir[] = "/tmp/qln-store-test-XXXXXX";
        if (mkdtemp(dir) == nullptr) std::abort();
        setenv("XDG_DATA_HOME", (std::string(dir) + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (std::string(dir) + "/config").c_str(), 1);
        return std::string(dir);
    }();
    return home;
}

// Forces the environment to be set during static initialisation of the test binary.
inline const bool kTestHomeReady = !TestHome().empty();

inline void WriteText(const std::string& path, const std::string& text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}
