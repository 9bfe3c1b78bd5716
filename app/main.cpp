#include "app/lifecycle.h"
#include "platform/shell.h"

int main(int argc, char** argv) {
    OsInitThreads();
    return RunQuillon(argc, argv);
}
