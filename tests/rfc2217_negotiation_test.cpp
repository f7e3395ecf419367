// The RFC 2217 backend against a scripted device server on loopback: each
// setting's answer is checked, a server that does not take 7E1 is refused
// by name, one that never acknowledges line control is tolerated and said
// so in the trace, and 0xFF travels doubled both ways; and the server's
// side, which answers each setting as it takes it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "netline/net_comm.h"
#include "netline/net_framed_port.h"
#include "netline/rfc2217_answerer.h"
#include "serial/serial_errors.h"
#include "support/scripted_server.h"

namespace qmx::net {
namespace {

using namespace std::chrono_literals;

TNetAddress Loopback(TNetAddress::TKind kind, std::uint16_t port) { return TNetAddress{kind, "127.0.0.1", port}; }

// The port's trace goes to a file of this test's while it lives.
class TTraceFile {
public:
    TTraceFile() {
        char pattern[] = "/tmp/qmx-net-trace-XXXXXX";
        ::close(::mkstemp(pattern));
        FPath = pattern;
    }
    ~TTraceFile() { ::unlink(FPath.c_str()); }
    const std::string& Path() const { return FPath; }
    std::string Text() const {
        std::ifstream in(FPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string FPath;
};

struct TNegotiationCase {
    const char* Name;
    test::TServerScript Script;
    const char* Refusal;  // what the open's error says; null when it opens
    const char* Traced;   // what the trace says, for a port that opens
    TSerialFailure Failure = TSerialFailure::InputOutput;  // for a port that does not
    bool IgnoreSetControl = false;                         // the port named with ?ign_set_control
};

void PrintTo(const TNegotiationCase& c, std::ostream* out) { *out << c.Name; }

class Rfc2217Negotiation : public ::testing::TestWithParam<TNegotiationCase> {};

TEST_P(Rfc2217Negotiation, ChecksEachAnswer) {
    const TNegotiationCase& c = GetParam();
    test::TScriptedServer server(c.Script);
    TTraceFile trace;
    std::string refusal;
    TSerialFailure failure = TSerialFailure::InputOutput;
    {
        std::unique_ptr<TFramedPort> port;
        try {
            TNetAddress address = Loopback(TNetAddress::TKind::Rfc2217, server.Port());
            address.IgnoreSetControl = c.IgnoreSetControl;
            port = OpenNetworkFramedPort(address, 1, trace.Path());
            // The first request flushes what the backend has to say.
            const std::uint8_t frame[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
            port->Transact(0, frame, sizeof frame, nullptr, 0, 0, 0);
            const auto until = std::chrono::steady_clock::now() + 5s;
            while (server.LineBytes().size() < sizeof frame && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(5ms);
            // A server set up anew: the port opens it again before the next
            // exchange, and keeps why it could not.
            if (!c.Script.LaterAnswers.empty()) {
                server.DropClient();
                while (port->DevicePresent() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(5ms);
                port->Transact(0, frame, sizeof frame, nullptr, 0, 0, 0);
                if (const auto why = port->WhyAbsent()) throw *why;
            }
        } catch (const ESerialIO& error) {
            refusal = error.what();
            failure = error.Failure();
        }
    }
    if (c.Refusal == nullptr) {
        EXPECT_EQ(refusal, "");
        const std::string text = trace.Text();
        EXPECT_NE(text.find("=== "), std::string::npos) << text;
        EXPECT_NE(text.find(" rfc2217://127.0.0.1:" + std::to_string(server.Port()) + ", 9600 baud 7E1"),
                  std::string::npos)
            << "the header names the address: " << text;
        EXPECT_NE(text.find(c.Traced), std::string::npos) << text;
        // The server's line as the gauge needs it: what it took last, as
        // asked or as its script answers.
        std::map<std::uint8_t, std::uint32_t> taken;
        std::vector<std::uint8_t> controls;
        for (const auto& request : server.Requests()) {
            std::uint32_t value = 0;
            for (std::size_t i = 1; i < request.size(); ++i) value = value << 8 | request[i];
            const auto scripted = c.Script.Answers.find(request[0]);
            taken[request[0]] = scripted != c.Script.Answers.end() ? scripted->second : value;
            if (request[0] == 5) controls.push_back(request[1]);
        }
        EXPECT_EQ(taken[1], 9600u);
        EXPECT_EQ(taken[2], 7u);
        EXPECT_EQ(taken[3], 3u) << "even";
        EXPECT_EQ(taken[4], 1u);
        EXPECT_EQ(taken[12], 1u) << "the server's received data purged";
        ASSERT_FALSE(controls.empty());
        EXPECT_NE(std::find(controls.begin(), controls.end(), 1), controls.end()) << "no flow control";
        EXPECT_EQ(controls.back(), 12) << "RTS off";
    } else {
        EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
        EXPECT_EQ(failure, c.Failure) << "a refused setting is told from a failure";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, Rfc2217Negotiation,
    ::testing::Values(
        TNegotiationCase{"AllAcknowledged", {}, nullptr, "the server took baud rate 9600"},
        TNegotiationCase{"ControlNeverAcknowledged", {.ControlSilent = true}, nullptr,
                         "the server did not acknowledge no flow control: taken as done"},
        TNegotiationCase{"OnlyTheGaugesBaudRateTaken", {.Answers = {{1, 9600}}}, nullptr,
                         "the server answered baud rate 9600 when asked for 5760"},
        TNegotiationCase{"BaudRateRefused", {.Answers = {{1, 19200}}},
                         "the server answered baud rate 19200 when asked for 9600", nullptr, TSerialFailure::Refused},
        TNegotiationCase{"DataSizeRefused", {.Answers = {{2, 8}}}, "the server answered data size 8 when asked for 7",
                         nullptr, TSerialFailure::Refused},
        TNegotiationCase{"ParityRefused", {.Answers = {{3, 1}}}, "the server answered parity none when asked for even",
                         nullptr, TSerialFailure::Refused},
        TNegotiationCase{"StopBitsRefused", {.Answers = {{4, 2}}}, "the server answered stop bits 2 when asked for 1",
                         nullptr, TSerialFailure::Refused},
        TNegotiationCase{"RtsRefused", {.Answers = {{5, 11}}}, "the server answered RTS on when asked for",
                         nullptr, TSerialFailure::Refused},
        TNegotiationCase{"DataSizeRefusedOnReopening", {.LaterAnswers = {{2, 8}}},
                         "the server answered data size 8 when asked for 7", nullptr, TSerialFailure::Refused},
        // Line control sent, neither waited for nor checked.
        TNegotiationCase{"ControlNotWaitedFor", {.ControlSilent = true}, nullptr,
                         "line control is sent without waiting for the server's answer (ign_set_control)",
                         TSerialFailure::InputOutput, true},
        TNegotiationCase{"RtsAnswerNotChecked", {.Answers = {{5, 11}}}, nullptr, "(ign_set_control)",
                         TSerialFailure::InputOutput, true},
        TNegotiationCase{"NoComPortOption", {.RefuseComPort = true}, "the server refused the COM-PORT option",
                         nullptr}),
    [](const ::testing::TestParamInfo<TNegotiationCase>& c) { return std::string(c.param.Name); });

// 0xFF on the line: doubled on an RFC 2217 connection, where a lone one
// starts a command; as it is on raw TCP.
struct TEscapeCase {
    const char* Name;
    TNetAddress::TKind Kind;
    std::vector<std::uint8_t> OnTheWire;  // for the line's 02 FF 03
};

void PrintTo(const TEscapeCase& c, std::ostream* out) { *out << c.Name; }

class NetworkLineBytes : public ::testing::TestWithParam<TEscapeCase> {};

TEST_P(NetworkLineBytes, TravelAsTheLineHasThem) {
    const TEscapeCase& c = GetParam();
    test::TScriptedServer server({});
    auto comm = TNetComm::For(Loopback(c.Kind, server.Port()));
    const THandle device = comm->CreateFileA("\\\\.\\COM1", 0, 0, nullptr, 0, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const std::uint8_t out[] = {0x02, 0xFF, 0x03};
    DWORD written = 0;
    ASSERT_TRUE(comm->WriteFile(device, out, sizeof out, &written, nullptr));
    EXPECT_EQ(written, 3u);

    const auto until = std::chrono::steady_clock::now() + 5s;
    auto sawWire = [&] {
        const auto raw = server.Raw();
        return std::search(raw.begin(), raw.end(), c.OnTheWire.begin(), c.OnTheWire.end()) != raw.end();
    };
    while (!sawWire() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(sawWire()) << "the server got the line's bytes as " << c.Name << " carries them";

    // Back: the server sends the same on the wire, the port reads the line's.
    server.Send(c.OnTheWire);
    std::vector<std::uint8_t> in;
    while (in.size() < 3 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
        std::uint8_t chunk[16];
        DWORD read = 0;
        ASSERT_TRUE(comm->ReadFile(device, chunk, sizeof chunk, &read, nullptr));
        in.insert(in.end(), chunk, chunk + read);
    }
    EXPECT_EQ(in, (std::vector<std::uint8_t>{0x02, 0xFF, 0x03}));
    comm->CloseHandle(device);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NetworkLineBytes,
                         ::testing::Values(TEscapeCase{"Rfc2217", TNetAddress::TKind::Rfc2217, {0x02, 0xFF, 0xFF, 0x03}},
                                           TEscapeCase{"Socket", TNetAddress::TKind::Socket, {0x02, 0xFF, 0x03}}),
                         [](const ::testing::TestParamInfo<TEscapeCase>& c) { return std::string(c.param.Name); });

// The server's side.
using TBytes = std::vector<std::uint8_t>;
using namespace telnet;

TBytes Sub(TBytes bytes) {
    TBytes wire{IAC, SB, kComPortOption};
    wire.insert(wire.end(), bytes.begin(), bytes.end());
    wire.insert(wire.end(), {IAC, SE});
    return wire;
}

struct TAnswerCase {
    const char* Name;
    bool Refuse;
    TBytes Request;
    TBytes Answer;
};

const TAnswerCase kAnswers[] = {
    {"signature", false, Sub({0}), Sub({100, 'a', ' ', 's', 'e', 'r', 'v', 'e', 'r'})},
    {"baud rate", false, Sub({1, 0, 0, 0x25, 0x80}), Sub({101, 0, 0, 0x25, 0x80})},
    {"data size", false, Sub({2, 7}), Sub({102, 7})},
    {"parity even", false, Sub({3, 3}), Sub({103, 3})},
    {"RTS off", false, Sub({5, 12}), Sub({105, 12})},
    {"purge", false, Sub({12, 1}), Sub({112, 1})},
    {"refused data size", true, Sub({2, 7}), Sub({102, 8})},
    {"refused parity", true, Sub({3, 3}), Sub({103, 1})},
    {"baud rate kept when refusing", true, Sub({1, 0, 0, 0x25, 0x80}), Sub({101, 0, 0, 0x25, 0x80})},
    {"a baud rate with 0xFF in it", false, Sub({1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), Sub({101, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
};

TEST(Rfc2217Answerer, AnswersEachSettingAsItTookIt) {
    for (const auto& c : kAnswers) {
        TRfc2217Answerer answerer("a server", c.Refuse);
        TBytes data, reply;
        std::vector<std::string> notes;
        answerer.Decode(c.Request.data(), c.Request.size(), data, reply, notes);
        EXPECT_EQ(reply, c.Answer) << c.Name;
        EXPECT_TRUE(data.empty()) << c.Name;
    }
}

TEST(Rfc2217Answerer, RecordsWhatTheClientSetAndPassesTheLinesBytes) {
    TRfc2217Answerer answerer("a server");
    TBytes wire = Sub({1, 0, 0, 0x25, 0x80});
    for (const TBytes& more : {Sub({2, 7}), Sub({3, 3}), Sub({4, 1}), Sub({5, 1}), Sub({5, 12}), TBytes{0x02, 0xFF, 0xFF, 0x03}})
        wire.insert(wire.end(), more.begin(), more.end());
    TBytes data, reply;
    std::vector<std::string> notes;
    answerer.Decode(wire.data(), wire.size(), data, reply, notes);
    const TLineSettings settings = answerer.Settings();
    EXPECT_EQ(settings.BaudRate, 9600u);
    EXPECT_EQ(settings.DataSize, 7u);
    EXPECT_EQ(settings.Parity, 3u);
    EXPECT_EQ(settings.StopSize, 1u);
    EXPECT_EQ(settings.Controls, (std::vector<std::uint32_t>{1, 12}));
    EXPECT_EQ(data, (TBytes{0x02, 0xFF, 0x03}));
    EXPECT_EQ(notes.size(), 6u);
    TBytes out;
    TRfc2217Answerer::Encode(data.data(), data.size(), out);
    EXPECT_EQ(out, (TBytes{0x02, 0xFF, 0xFF, 0x03}));
}

}  // namespace
}  // namespace qmx::net
