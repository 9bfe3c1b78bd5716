#include "app/lifecycle.h"
#include "platform/shell.h"

// The one symbol the launcher looks up in the program library.
extern "C" __attribute__((visibility("default"))) int QlnRunProgram(int argc, char** argv) {
    OsInitThreads();
    return RunQuillon(argc, argv);
}
