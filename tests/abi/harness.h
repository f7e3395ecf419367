#pragma once

// A small test harness for the 32-bit host program: no test framework is
// packaged for the cross compiler. Each test is a function; a test passes
// when none of its checks failed. The run ends with "N passed, N failed".

#include <cstdio>
#include <string>
#include <vector>

namespace qmx::abi {

struct TTestCase {
    const char* Name;
    void (*Body)();
};

std::vector<TTestCase>& Registry();
void ReportFailure(const char* file, int line, const std::string& what);

struct TRegistrar {
    TRegistrar(const char* name, void (*body)()) { Registry().push_back({name, body}); }
};

std::string Hex(const void* data, std::size_t size);

}  // namespace qmx::abi

#define ABI_TEST(name)                                                   \
    static void name();                                                  \
    static ::qmx::abi::TRegistrar name##Registrar(#name, &name);         \
    static void name()

#define CHECK(condition)                                                             \
    do {                                                                             \
        if (!(condition)) ::qmx::abi::ReportFailure(__FILE__, __LINE__, #condition); \
    } while (0)

#define CHECK_EQ(actual, expected)                                                          \
    do {                                                                                    \
        const auto& qmxActual = (actual);                                                   \
        const auto& qmxExpected = (expected);                                               \
        if (!(qmxActual == qmxExpected))                                                    \
            ::qmx::abi::ReportFailure(__FILE__, __LINE__,                                   \
                                      std::string(#actual " == " #expected " (got ") +      \
                                          std::to_string(qmxActual) + ", want " +           \
                                          std::to_string(qmxExpected) + ")");               \
    } while (0)

#define CHECK_STR(actual, expected)                                                          \
    do {                                                                                     \
        const std::string qmxActual = (actual);                                              \
        const std::string qmxExpected = (expected);                                          \
        if (qmxActual != qmxExpected)                                                        \
            ::qmx::abi::ReportFailure(__FILE__, __LINE__,                                    \
                                      std::string(#actual ": got \"") + qmxActual +          \
                                          "\", want \"" + qmxExpected + "\"");               \
    } while (0)
