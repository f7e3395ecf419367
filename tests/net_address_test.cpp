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
    // pySerial's options taken.
    bool IgnoreSetControl = false;
    int TimeoutSeconds = 0;  // 0: the default
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
    // pySerial's options: taken where they mean something, else refused by name.
    {"rfc2217://host:2217?ign_set_control", false, true, kRfc2217, "host", 2217, "", true},
    {"rfc2217://[::1]:2217?timeout=10&ign_set_control", false, true, kRfc2217, "::1", 2217, "", true, 10},
    {"rfc2217://host:2217?timeout=0", false, false, kRfc2217, "", 0, "1 to 60, not '0'"},
    {"rfc2217://host:2217?timeout=2.5", false, false, kRfc2217, "", 0, "not '2.5'"},
    {"rfc2217://host:2217?ign_set_control=1", false, false, kRfc2217, "", 0, "ign_set_control takes no value"},
    {"rfc2217://host:2217?logging=debug", false, false, kRfc2217, "", 0, "use --trace"},
    {"socket://host:4001?logging=debug", false, false, kSocket, "", 0, "logging is pySerial's own"},
    {"rfc2217://host:2217?poll_modem", false, false, kRfc2217, "", 0, "poll_modem is not taken"},
    {"socket://host:4001?ign_set_control", false, false, kSocket, "", 0, "unknown option 'ign_set_control'"},
    {"rfc2217://host:2217?baud=9600", false, false, kRfc2217, "", 0, "takes ign_set_control and timeout=SECONDS"},
    {"rfc2217://host:2217?timeout=5&timeout=9", false, false, kRfc2217, "", 0, "'timeout' is given twice"},
    {"rfc2217://host:2217?ign_set_control&", false, false, kRfc2217, "", 0, "an empty option"},
    {"rfc2217://host:2217?", false, false, kRfc2217, "", 0, "an empty option"},
    {"rfc2217://host:2217?ign_set_control", true, false, kRfc2217, "", 0, "takes no options"},
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
        EXPECT_EQ(address->IgnoreSetControl, c.IgnoreSetControl) << c.Name;
        EXPECT_EQ(address->AnswerTimeout.value_or(std::chrono::milliseconds(0)), std::chrono::seconds(c.TimeoutSeconds))
            << c.Name;
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
