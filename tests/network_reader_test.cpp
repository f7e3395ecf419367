// qmx-read on a gauge behind a device server: the simulator's network port
// on loopback, raw TCP and RFC 2217, as a technician runs the reader:
// readings, a server that refuses 7E1, servers it cannot reach, and a
// connection lost while it reads.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gauge.h"
#include "netline/net_comm.h"
#include "netline/rfc2217.h"
#include "sim_server.h"
#include "socket_line.h"
#include "serial/serial_errors.h"
#include "support/reader_process.h"
#include "support/scripted_server.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using net::TNetAddress;

// The simulated gauge as a device server's port on loopback, paced as a line.
struct TNetworkGauge {
    TNetworkGauge(TNetAddress::TKind kind, bool refuseSettings = false, const std::string& host = "") {
        auto socketLine = std::make_unique<sim::TSocketLine>(TNetAddress{kind, host, 0}, refuseSettings);
        Line = socketLine.get();
        Name = Line->Name();
        Server = std::make_unique<sim::TSimServer>(Gauge, std::move(socketLine));
        Server->SetPacing(sim::kLineCharacterTime);
    }
    sim::TGauge Gauge;
    sim::TSocketLine* Line = nullptr;
    std::string Name;
    std::unique_ptr<sim::TSimServer> Server;
};

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TReadCase {
    const char* Name;
    TNetAddress::TKind Kind;
    bool Refuse;
    bool ByName;  // the host as "localhost", from the hosts file (no DNS)
    const char* Host;  // where the gauge listens: "" loopback, or "::1"
    int Status;
    const char* Said;  // on standard error,
    std::size_t Times;  // so many times
    // Tank 2's fault and the reason its row gives; tank 3 reads its own
    // values after it, whatever tank 2's answer ended in.
    sim::TFault Fault = sim::TFault::BadCheck;
    const char* Reason = "check byte";
};

void PrintTo(const TReadCase& c, std::ostream* out) { *out << c.Name; }

class ReaderOnNetwork : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ReaderOnNetwork, ReadsOrRefusesAsTheServerAnswers) {
    const TReadCase& c = GetParam();
    TNetworkGauge gauge(c.Kind, c.Refuse, c.Host);
    // The gauge serves already: changes go through its server.
    gauge.Server->WithGauge([&c](sim::TGauge& station) {
        station.SetFault(2, c.Fault);
        station.Tank(1).LevelDrift = 0;
    });
    const std::string trace = "/tmp/qmx-net-read-" + std::to_string(::getpid()) + ".log";
    std::remove(trace.c_str());
    std::string device = gauge.Name;
    if (c.ByName) device.replace(device.find("127.0.0.1"), 9, "localhost");
    test::TReaderProcess reader({"--device", device, "--tanks", "1-3", "--csv", "--fast", "--trace", trace});
    EXPECT_EQ(reader.Wait(), c.Status) << reader.Errors();
    const std::string errors = reader.Errors();
    EXPECT_EQ(test::CountOf(errors, c.Said), c.Times) << errors;
    const std::string traced = FileText(trace);
    std::remove(trace.c_str());
    if (c.Status == 2) {
        EXPECT_EQ(gauge.Server->Requests(), 0) << "refused before anything is read";
        return;
    }
    // Values and failure reasons as on a tty.
    EXPECT_NE(reader.Output().find("\n1,800.00,8.0,0,0.74500000,1,1,,,\n2,,,,,3,0,," + std::string(c.Reason) + ",3\n"),
              std::string::npos)
        << reader.Output();
    EXPECT_TRUE(std::regex_search(reader.Output(), std::regex("\n3,[0-9.]+,[-0-9.]+,[0-9]+,[0-9.]+,1,1,,,\n")))
        << reader.Output();
    EXPECT_NE(traced.find(" " + device + ", 9600 baud 7E1"), std::string::npos) << "header: " << traced;
    if (c.Kind == TNetAddress::TKind::Rfc2217) {
        const net::TLineSettings settings = gauge.Line->Settings();
        EXPECT_EQ(settings.BaudRate, 9600u);
        EXPECT_EQ(settings.DataSize, 7u);
        EXPECT_EQ(settings.Parity, net::rfc2217::kParityEven);
        EXPECT_EQ(settings.StopSize, 1u);
        ASSERT_FALSE(settings.Controls.empty());
        EXPECT_EQ(settings.Controls.back(), net::rfc2217::kControlRtsOff) << "RTS held low";
        EXPECT_GE(settings.Purges, 1) << "purged at open";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ReaderOnNetwork,
    ::testing::Values(
        TReadCase{"RawTcp", TNetAddress::TKind::Socket, false, false, "", 1, "7E1 cannot be set or checked from here", 1},
        TReadCase{"Rfc2217", TNetAddress::TKind::Rfc2217, false, false, "", 1, "7E1 cannot be set or checked", 0},
        TReadCase{"Rfc2217ByName", TNetAddress::TKind::Rfc2217, false, true, "", 1, "7E1 cannot be set or checked", 0},
        TReadCase{"Rfc2217OverIpv6", TNetAddress::TKind::Rfc2217, false, false, "::1", 1, "7E1 cannot be set", 0},
        TReadCase{"Rfc2217Refusing7E1", TNetAddress::TKind::Rfc2217, true, false, "", 2,
                  "the server answered data size 8 when asked for 7", 1},
        // 299 bytes, ending in tank 3's whole answer.
        TReadCase{"RawTcpFlood", TNetAddress::TKind::Socket, false, false, "", 1, "7E1 cannot be set", 1,
                  sim::TFault::Flood, "wrong length"},
        TReadCase{"Rfc2217Flood", TNetAddress::TKind::Rfc2217, false, false, "", 1, "7E1 cannot be set", 0,
                  sim::TFault::Flood, "wrong length"}),
    [](const ::testing::TestParamInfo<TReadCase>& c) { return std::string(c.param.Name); });

// A listening socket that never accepts: once its queue is full (it holds
// one), a further connect is never answered, as a server behind a dead
// route.
class TFullListener {
public:
    explicit TFullListener(int fillers = 3) {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        socklen_t length = sizeof FAddress;
        FAddress.sin_family = AF_INET;
        FAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FListen, reinterpret_cast<sockaddr*>(&FAddress), length);
        ::listen(FListen, 0);
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&FAddress), &length);
        Port = ntohs(FAddress.sin_port);
        Fill(fillers);
    }
    ~TFullListener() {
        for (int filler : FFillers) ::close(filler);
        ::close(FListen);
    }
    void Fill(int fillers) {
        for (int i = 0; i < fillers; ++i) {
            FFillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(FFillers.back(), reinterpret_cast<sockaddr*>(&FAddress), sizeof FAddress);
        }
    }
    std::uint16_t Port = 0;

private:
    int FListen = -1;
    sockaddr_in FAddress{};
    std::vector<int> FFillers;
};

// The first connection is given five seconds; one made again after a loss
// only one, so that a server that is down does not hold each exchange:
// whether it does not accept, or accepts and never takes up RFC 2217.
struct TReconnectCase {
    const char* Name;
    TNetAddress::TKind Kind;
    const char* Said;
};

void PrintTo(const TReconnectCase& c, std::ostream* out) { *out << c.Name; }

class NetworkReconnect : public ::testing::TestWithParam<TReconnectCase> {};

TEST_P(NetworkReconnect, WaitsOneSecondWhereTheFirstConnectionWaitsFive) {
    const TReconnectCase& c = GetParam();
    // The full listener takes one connection, the scripted server serves one.
    TFullListener full(0);
    test::TScriptedServer scripted({});
    const bool raw = c.Kind == TNetAddress::TKind::Socket;
    auto comm = net::TNetComm::For(TNetAddress{c.Kind, "127.0.0.1", raw ? full.Port : scripted.Port()});
    const THandle first = comm->CreateFileA("\\\\.\\COM1", 0, 0, nullptr, 0, 0, nullptr);
    if (raw) full.Fill(3);
    const auto start = TClock::now();
    try {
        comm->CreateFileA("\\\\.\\COM1", 0, 0, nullptr, 0, 0, nullptr);
        ADD_FAILURE() << "opened again";
    } catch (const ESerialIO& error) {
        EXPECT_NE(std::string(error.what()).find(c.Said), std::string::npos) << error.what();
        EXPECT_EQ(error.Failure(), raw ? TSerialFailure::Absent : TSerialFailure::InputOutput);
    }
    const auto took = TClock::now() - start;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 2800ms);
    comm->CloseHandle(first);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetworkReconnect,
    ::testing::Values(TReconnectCase{"NotAccepting", TNetAddress::TKind::Socket, "no connection within 1 s"},
                      TReconnectCase{"SilentRfc2217", TNetAddress::TKind::Rfc2217,
                                     "did not take the COM-PORT option (RFC 2217) within 1 s"}),
    [](const ::testing::TestParamInfo<TReconnectCase>& c) { return std::string(c.param.Name); });

// A port nobody listens on: one the system gave and took back.
std::uint16_t ClosedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

// Unreachable, the device is not there (3); misnamed, the command line is
// wrong (2).
TEST(ReaderOnNetwork, UnreachableServersEndWithStatusThreeAndSayWhy) {
    TFullListener silent;
    struct TCase {
        std::string Device;
        const char* Message;
        std::chrono::seconds AtLeast, AtMost;
        int Status;
    };
    const TCase cases[] = {
        {"rfc2217://127.0.0.1:" + std::to_string(ClosedPort()), "connection refused", 0s, 4s, 3},
        {"socket://[::1]:" + std::to_string(ClosedPort()), "cannot open socket://[::1]:", 0s, 4s, 3},
        {"rfc2217://127.0.0.1", "needs a port", 0s, 4s, 2},
        {"socket://127.0.0.1:" + std::to_string(silent.Port), "no connection within 5 s", 4s, 15s, 3},
    };
    for (const auto& c : cases) {
        const auto start = TClock::now();
        test::TReaderProcess reader({"--device", c.Device, "--tanks", "1"});
        EXPECT_EQ(reader.Wait(), c.Status) << c.Device;
        const auto took = TClock::now() - start;
        EXPECT_NE(reader.Errors().find(c.Message), std::string::npos) << c.Device << ": " << reader.Errors();
        EXPECT_GE(took, c.AtLeast) << c.Device;
        EXPECT_LE(took, c.AtMost) << c.Device;
    }
}

// Rows of tank 1 with a level: its levels fall slowly, as fuel is sold.
std::size_t TankOneRead(const std::string& out) {
    return test::CountOf(out, "\"tank\": 1, \"level\": ") - test::CountOf(out, "\"tank\": 1, \"level\": null");
}

// The server drops the connection while a tank is read: said once, and the
// reader connects again before its next exchange, as with a replugged
// adapter.
TEST(ReaderOnNetwork, ALostConnectionIsAGoneDeviceThatComesBack) {
    TNetworkGauge gauge(TNetAddress::TKind::Rfc2217);
    // Tank 2 is silent: its reading lasts three seconds.
    gauge.Server->WithGauge([](sim::TGauge& station) { station.SetFault(2, sim::TFault::NoAnswer); });
    test::TReaderProcess reader({"--device", gauge.Name, "--tanks", "1,2", "--json", "--watch", "1", "--fast"});
    ASSERT_TRUE(reader.WaitFor("\"tank\": 1,", 20s)) << reader.Errors();
    std::this_thread::sleep_for(300ms);  // into tank 2
    gauge.Line->DropClient();
    EXPECT_TRUE(reader.WaitFor("is back", 30s, true)) << reader.Errors();
    // Read again on the new connection.
    const auto readsBefore = TankOneRead(reader.Output());
    const auto until = TClock::now() + 20s;
    while (TankOneRead(reader.Output()) == readsBefore && TClock::now() < until)
        std::this_thread::sleep_for(20ms);
    reader.Signal(SIGINT);
    EXPECT_EQ(reader.Wait(), 130);
    const std::string errors = reader.Errors();
    EXPECT_EQ(test::CountOf(errors, gauge.Name + " has gone"), 1u) << errors;
    EXPECT_EQ(test::CountOf(errors, gauge.Name + " is back"), 1u) << errors;
    EXPECT_GT(TankOneRead(reader.Output()), readsBefore) << reader.Output();
    EXPECT_GE(gauge.Line->Clients(), 2);
}

}  // namespace
}  // namespace qmx
