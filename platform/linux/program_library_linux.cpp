#include "platform/program_library.h"

#include "platform/linux/shell_files.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kProgramLibrary = "/lib/libquillon.so";
constexpr const char* kProgramEntry = "QlnRunProgram";

}  // namespace

int OsRunProgramLibrary(int argc, char** argv) {
    const std::string path = ParentOf(ParentOf(RunningExecutable())) + kProgramLibrary;
    // Global, so that what the program opens later (the web view) can find the toolkit's
    // symbols the way it would in one executable.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        std::fprintf(stderr, "quillon: cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(dlsym(library, kProgramEntry));
    if (entry == nullptr) {
        std::fprintf(stderr, "quillon: %s has no %s\n", path.c_str(), kProgramEntry);
        return 1;
    }
    // The library stays loaded until the process ends: its threads and exit handlers need it.
    return entry(argc, argv);
}
