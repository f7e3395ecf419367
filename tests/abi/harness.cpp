#include "harness.h"

#include <windows.h>

namespace qmx::abi {
namespace {
int gFailuresInTest = 0;
}

std::vector<TTestCase>& Registry() {
    static std::vector<TTestCase> tests;
    return tests;
}

void ReportFailure(const char* file, int line, const std::string& what) {
    ++gFailuresInTest;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
}

std::string Hex(const void* data, std::size_t size) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, "%02X", static_cast<const unsigned char*>(data)[i]);
        text += (i ? " " : "") + std::string(byte);
    }
    return text;
}

}  // namespace qmx::abi

int main(int argc, char** argv) {
    using namespace qmx::abi;
    int passed = 0, failed = 0;
    const char* only = argc > 1 ? argv[1] : nullptr;
    for (const auto& test : Registry()) {
        // Tests named Line... and Reload... need a line the runner has
        // mapped (Reload... its own: it loads the library twenty times),
        // and those named Unload... leave the process without the library:
        // they run only when asked for by name.
        const std::string name = test.Name;
        const bool onDemand =
            name.rfind("Line", 0) == 0 || name.rfind("Reload", 0) == 0 || name.rfind("Unload", 0) == 0;
        if (only == nullptr ? onDemand : name.rfind(only, 0) != 0) continue;
        gFailuresInTest = 0;
        std::printf("[ RUN  ] %s\n", test.Name);
        std::fflush(stdout);
        test.Body();
        if (gFailuresInTest == 0) {
            ++passed;
            std::printf("[  OK  ] %s\n", test.Name);
        } else {
            ++failed;
            std::printf("[ FAIL ] %s\n", test.Name);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
