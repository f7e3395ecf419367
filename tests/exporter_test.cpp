// The reader's HTTP exporter: the addresses --listen takes.

#include <gtest/gtest.h>

#include <string>

#include "listen_address.h"

namespace qmx::tools {
namespace {

TEST(ListenAddress, APortAloneIsLoopbackAndAnAddressIsAsNamed) {
    struct TCase {
        const char* Text;
        const char* Shown;    // the address taken; nullptr when refused
        const char* Problem;  // part of the refusal
    };
    const TCase cases[] = {
        {"9723", "127.0.0.1:9723", ""},
        {":9723", "127.0.0.1:9723", ""},
        {"0.0.0.0:9723", "0.0.0.0:9723", ""},
        {"[::1]:9723", "[::1]:9723", ""},
        {"[::]:0", "[::]:0", ""},
        {"65536", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"127.0.0.1:", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"[::1]", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"::1:9723", nullptr, "an IPv6 address goes in brackets"},
        {"localhost:9723", nullptr, "'localhost' is not a numeric IPv4 address"},
        {"1.2.3:80", nullptr, "'1.2.3' is not a numeric IPv4 address"},
        {"[127.0.0.1]:80", nullptr, "'127.0.0.1' is not a numeric IPv6 address"},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto address = ParseListenAddress(c.Text, problem);
        EXPECT_EQ(address ? address->Text() : "refused", c.Shown ? c.Shown : "refused") << c.Text;
        EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Text << ": " << problem;
    }
}

}  // namespace
}  // namespace qmx::tools
