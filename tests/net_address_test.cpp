// Network port names as the user types them: the forms taken, and a
// message for each mistake.

#include <gtest/gtest.h>

#include "netline/net_address.h"

namespace qmx::net {
namespace {

struct TNameCase {
    const char* Name;
    bool Listening;
    bool Taken;
    TNetAddress::TKind Kind;
    const char* Host;
    std::uint16_t Port;
    const char* Problem;  // a part of the message when not taken
};

constexpr auto kSocket = TNetAddress::TKind::Socket;
constexpr auto kRfc2217 = TNetAddress::TKind::Rfc2217;

const TNameCase kNames[] = {
    {"socket://gauge-server.local:4001", false, true, kSocket, "gauge-server.local", 4001, ""},
    {"rfc2217://192.168.1.20:2217", false, true, kRfc2217, "192.168.1.20", 2217, ""},
    {"rfc2217://[::1]:2217", false, true, kRfc2217, "::1", 2217, ""},
    {"rfc2217://[fe80::1%25]:1", false, false, kRfc2217, "", 0, "is no IPv6 address"},
    {"rfc2217://:2217", true, true, kRfc2217, "", 2217, ""},
    {"socket://127.0.0.1:0", true, true, kSocket, "127.0.0.1", 0, ""},
    {"rfc2217://:2217", false, false, kRfc2217, "", 0, "needs a host"},
    {"socket://127.0.0.1:0", false, false, kSocket, "", 0, "from 1 to 65535"},
    {"socket://host:65536", false, false, kSocket, "", 0, "not '65536'"},
    {"socket://host:40x1", false, false, kSocket, "", 0, "not '40x1'"},
    {"socket://host", false, false, kSocket, "", 0, "needs a port"},
    {"rfc2217://::1:2217", false, false, kRfc2217, "", 0, "goes in brackets"},
    {"rfc2217://[::1]2217", false, false, kRfc2217, "", 0, "goes in brackets"},
    {"socket:///dev/ttyUSB0:1", false, false, kSocket, "", 0, "is no host name"},
    {"telnet://host:23", false, false, kSocket, "", 0, "is no network port"},
};

TEST(NetAddress, NamesAreTakenOrRefusedWithAReason) {
    for (const auto& c : kNames) {
        std::string problem;
        const auto address = ParseNetAddress(c.Name, problem, c.Listening);
        ASSERT_EQ(address.has_value(), c.Taken) << c.Name << ": " << problem;
        if (!c.Taken) {
            EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Name << ": " << problem;
            continue;
        }
        EXPECT_EQ(address->Kind, c.Kind) << c.Name;
        EXPECT_EQ(address->Host, c.Host) << c.Name;
        EXPECT_EQ(address->Port, c.Port) << c.Name;
        // Named back as given: what the trace header and messages show.
        if (!address->Host.empty()) {
            EXPECT_EQ(address->Text(), c.Name);
        }
    }
}

TEST(NetAddress, OnlyTheTwoSchemesAreNetworkNames) {
    EXPECT_TRUE(IsNetworkName("socket://x"));
    EXPECT_TRUE(IsNetworkName("rfc2217://"));
    EXPECT_FALSE(IsNetworkName("/dev/ttyUSB0"));
    EXPECT_FALSE(IsNetworkName("\\\\.\\COM3"));
    EXPECT_FALSE(IsNetworkName("Socket://x"));
}

}  // namespace
}  // namespace qmx::net
