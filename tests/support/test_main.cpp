// The tests' entry point. Before anything runs, every COM port a test could
// name points to a path that does not exist, so that no test reaches a real
// serial device (/dev/ttyS0 can be the console); tests that need a port map
// it to a pty of their own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    for (int port = 1; port <= 300; ++port)
        ::setenv(("QMX_COM" + std::to_string(port)).c_str(), "/nonexistent/qmx-test-port", 1);
    ::unsetenv("QMX_TRACE");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
