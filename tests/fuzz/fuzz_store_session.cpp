// Session file reader: never crashes, and what it accepts is written back in a form that reads
// back to the very same file.

#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "tests/support/files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ScratchPath(const char* name) {
    static const std::string dir = [] {
        std::string path = "/dev/shm/qln-fuzz-session-" + std::to_string(getpid());
        if (access("/dev/shm", W_OK) != 0)
            path = "/tmp/qln-fuzz-session-" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return dir + "/" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = ScratchPath("input.dat");
    if (FILE* f = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ResetToolStateForTest();
    if (!LoadSessionStateFrom(input)) return 0;
    const std::string first = ScratchPath("first.dat");
    const std::string second = ScratchPath("second.dat");
    if (!SaveSessionStateTo(first, true)) std::abort();
    ResetToolStateForTest();
    if (!LoadSessionStateFrom(first)) std::abort();
    if (!SaveSessionStateTo(second, true)) std::abort();
    if (Slurp(first) != Slurp(second)) std::abort();
    return 0;
}
