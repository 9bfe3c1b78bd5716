// Main of every display test binary: the tests run against a private Xvfb of their own.
#include "tests/support/xvfb.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    unsetenv("DISPLAY");
    PrivateXvfb server;
    if (!StartPrivateXvfb(server)) return 1;
    const int result = RUN_ALL_TESTS();
    StopPrivateXvfb(server);
    return result;
}
