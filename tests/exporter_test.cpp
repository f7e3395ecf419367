// The reader's HTTP exporter: the addresses --listen takes, when qmx_up says
// the gauge was reached, and qmx-read serving real scrapes over loopback
// while it reads the simulated gauge on a pty; promtool checks what it serves.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gauge.h"
#include "listen_address.h"
#include "metrics.h"
#include "sim_server.h"
#include "support/child_process.h"
#include "support/reader_process.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace qmx::tools {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

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

TEST(ScrapeText, UpOnlyWhenTheRoundReachedTheGaugeAndBeforeTheFirstRoundAlmostNothing) {
    TTankReading valid;
    valid.Level = 800;
    valid.Temperature = 8;
    valid.AuxValue = 0;
    valid.Density = 0.745;
    TTankReading silent;
    silent.Reason = TAttemptVerdict::NoAnswer;
    TTankReading garbled;  // a frame came, with a wrong check byte
    garbled.Reason = TAttemptVerdict::CheckByte;
    TTankReading levelOnly = silent;  // its G request went unanswered
    levelOnly.Level = 800;
    TTankReading refused;  // the silo raised an error before any exchange
    refused.Error = "request refused";
    struct TCase {
        std::vector<TTankReading> Readings;
        bool DevicePresent;
        const char* Up;
    };
    const TCase cases[] = {
        {{valid}, true, "1"},        {{silent, silent}, true, "0"}, {{silent, garbled}, true, "1"},
        {{levelOnly}, true, "1"},    {{refused}, true, "0"},        {{valid}, false, "0"},
        {{}, true, "0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TRoundFigures round;
        round.DevicePresent = cases[i].DevicePresent;
        const std::string text = ScrapeText("/dev/ttyUSB0", cases[i].Readings, round);
        EXPECT_EQ(text.rfind("# HELP qmx_up ", 0), 0u) << text;
        EXPECT_NE(text.find(std::string("\nqmx_up{device=\"/dev/ttyUSB0\"} ") + cases[i].Up + "\n"), std::string::npos)
            << "case " << i << ":\n" << text;
    }
    std::vector<std::string> samples;
    std::istringstream lines(ScrapeTextBeforeFirstRound("/dev/ttyUSB0"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind('#', 0) != 0) samples.push_back(line);
    EXPECT_EQ(samples, (std::vector<std::string>{"qmx_up{device=\"/dev/ttyUSB0\"} 0",
                                                 "qmx_read_build_info{device=\"/dev/ttyUSB0\",version=\"" QMX_VERSION
                                                 "\"} 1"}));
}

// The configuration the station guide shows is the one shipped (and checked by
// promtool in the test scrape_config_check).
TEST(ScrapeConfig, TheStationGuideShowsTheShippedConfiguration) {
    const auto read = [](const char* path) {
        std::ifstream in(std::string(QMX_SOURCE_DIR) + "/" + path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string config = read("packaging/qmx-read-scrape.yml");
    ASSERT_NE(config.find("job_name: quelmarox-gauge"), std::string::npos) << config;
    std::string indented;
    std::istringstream lines(config);
    for (std::string line; std::getline(lines, line);) indented += (line.empty() ? "" : "    ") + line + "\n";
    EXPECT_NE(read("docs/station.md").find(indented), std::string::npos)
        << "docs/station.md does not show, indented, packaging/qmx-read-scrape.yml";
}

// A socket, closed with its owner.
struct TSocket {
    explicit TSocket(int family) : Fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~TSocket() {
        if (Fd >= 0) ::close(Fd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd;
};

// A loopback address, IPv4 or IPv6 by its form.
sockaddr_storage Address(const std::string& host, int port, socklen_t& length) {
    sockaddr_storage address{};
    if (host.find(':') == std::string::npos) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
        length = sizeof *v4;
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
        length = sizeof *v6;
    }
    return address;
}

// Connected to the exporter, or Fd -1.
std::unique_ptr<TSocket> Connect(const std::string& host, int port) {
    socklen_t length = 0;
    const sockaddr_storage address = Address(host, port, length);
    auto socket = std::make_unique<TSocket>(address.ss_family);
    const timeval limit{5, 0};  // a server that never answers fails the test, not hangs it
    ::setsockopt(socket->Fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(socket->Fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(socket->Fd);
        socket->Fd = -1;
    }
    return socket;
}

struct TResponse {
    int Status = 0;  // 0: no answer
    std::string Type;
    std::string Body;
};

// A GET as a scraper makes it, read to the end: the client is ours, not
// the server's library, so that the two cannot share a fault.
TResponse Get(const std::string& host, int port, const std::string& path) {
    const auto socket = Connect(host, port);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: qmx\r\nConnection: close\r\n\r\n";
    if (socket->Fd < 0 || ::send(socket->Fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return {};
    std::string answer;
    char chunk[4096];
    for (ssize_t got; (got = ::recv(socket->Fd, chunk, sizeof chunk, 0)) > 0;)
        answer.append(chunk, static_cast<std::size_t>(got));
    const auto headersEnd = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || headersEnd == std::string::npos) return {};
    TResponse response{std::atoi(answer.c_str() + 9), "", answer.substr(headersEnd + 4)};
    std::string headers = answer.substr(0, headersEnd + 2);
    std::transform(headers.begin(), headers.end(), headers.begin(), [](unsigned char c) { return std::tolower(c); });
    if (const auto at = headers.find("\r\ncontent-type: "); at != std::string::npos)
        response.Type = answer.substr(at + 16, answer.find("\r\n", at + 2) - at - 16);
    return response;
}

bool PromtoolAccepts(const std::string& text, std::string& said) {
    test::TWindowsDirectory dir;
    dir.Write("scrape", text);
    const auto path = (dir.Path() / "scrape").string();
    const int status = std::system(("promtool check metrics < " + path + " > " + path + ".out 2>&1").c_str());
    std::ifstream in(path + ".out");
    said.assign(std::istreambuf_iterator<char>(in), {});
    return status == 0;
}

// The local address, in /proc/net/tcp's hex, of the socket listening on
// `port`; empty when there is none.
std::string ListeningOn(const std::string& table, int port) {
    char portHex[8];
    std::snprintf(portHex, sizeof portHex, ":%04X", port);
    std::ifstream in("/proc/net/" + table);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == portHex)
            return local.substr(0, local.size() - 5);
    }
    return "";
}

// qmx-read exporting, its standard error in a file: where it serves is
// the line it says at the start.
class TExportingReader : public test::TReaderProcess {
public:
    explicit TExportingReader(const std::vector<std::string>& arguments) : TReaderProcess(arguments, "/dev/null") {}
    // The port it says it serves on at `host`; 0 when it says none in time.
    int Port(const std::string& host) const {
        const std::string said = "qmx-read: serving the metrics at http://" + host + ":";
        for (const auto until = TClock::now() + 20s; TClock::now() < until; std::this_thread::sleep_for(10ms))
            if (const auto at = Errors().find(said); at != std::string::npos)
                return std::atoi(Errors().c_str() + at + said.size());
        return 0;
    }
};

// Scrapes until the body holds `text`; the last scrape either way.
TResponse ScrapeUntil(int port, const std::string& text, std::chrono::seconds limit = 30s) {
    TResponse response;
    for (const auto until = TClock::now() + limit; TClock::now() < until; std::this_thread::sleep_for(20ms))
        if ((response = Get("127.0.0.1", port, "/metrics")).Body.find(text) != std::string::npos) break;
    return response;
}

constexpr int kPort = 9;

TEST(ExporterProcess, ServesThePagesOnLoopbackUnlessAnAddressIsNamed) {
    struct TCase {
        const char* Listen;
        const char* Host;
        const char* Said;  // the host in the URL it says
        const char* Table;
        const char* Bound;  // as /proc/net shows it
    };
    const TCase cases[] = {
        {"0", "127.0.0.1", "127.0.0.1", "tcp", "0100007F"},
        {":0", "127.0.0.1", "127.0.0.1", "tcp", "0100007F"},
        {"[::1]:0", "::1", "[::1]", "tcp6", "00000000000000000000000001000000"},
    };
    for (const auto& c : cases) {
        test::TPtyPair pty(kPort);
        sim::TGauge gauge;
        sim::TSimServer server(gauge, pty.Master());
        TExportingReader reader({"--device", pty.SlavePath(), "--tanks", "1", "--watch", "60", "--listen", c.Listen});
        const int port = reader.Port(c.Said);
        ASSERT_NE(port, 0) << c.Listen << ": " << reader.Errors();
        EXPECT_EQ(ListeningOn(c.Table, port), c.Bound) << c.Listen;
        const TResponse page = Get(c.Host, port, "/");
        EXPECT_EQ(page.Status, 200) << c.Listen;
        EXPECT_EQ(page.Type, "text/html; charset=utf-8");
        EXPECT_NE(page.Body.find("<a href=\"/metrics\">"), std::string::npos) << page.Body;
        const TResponse metrics = Get(c.Host, port, "/metrics");
        EXPECT_EQ(metrics.Status, 200) << c.Listen;
        EXPECT_EQ(metrics.Type.rfind("text/plain; version=0.0.4", 0), 0u) << metrics.Type;
        for (const char* elsewhere : {"/metrics/old", "/favicon.ico", "/index.html"})
            EXPECT_EQ(Get(c.Host, port, elsewhere).Status, 404) << elsewhere;
    }
}

// A tank that answers nothing valid makes the first round last over three
// seconds: long enough to scrape before it ends.
TEST(ExporterProcess, DownAndTheBuildInfoUntilTheFirstRoundThenTheRoundsMetricsAndUp) {
    struct TCase {
        sim::TFault Fault;
        const char* Up;  // after the round
    };
    for (const TCase c : {TCase{sim::TFault::NoAnswer, "0"}, TCase{sim::TFault::BadCheck, "1"}}) {
        test::TPtyPair pty(kPort);
        sim::TGauge gauge;
        gauge.SetFault(1, c.Fault);
        sim::TSimServer server(gauge, pty.Master());
        test::TWindowsDirectory dir;
        const std::string file = (dir.Path() / "qmx.prom").string();
        TExportingReader reader({"--device", pty.SlavePath(), "--tanks", "1", "--watch", "60", "--fast", "--listen",
                                 "0", "--metrics", file});
        const int port = reader.Port("127.0.0.1");
        ASSERT_NE(port, 0) << reader.Errors();
        const std::string device = "{device=\"" + pty.SlavePath() + "\"}";
        const TResponse first = Get("127.0.0.1", port, "/metrics");
        EXPECT_NE(first.Body.find("\nqmx_up" + device + " 0\n"), std::string::npos) << first.Body;
        EXPECT_NE(first.Body.find("\nqmx_read_build_info{"), std::string::npos) << first.Body;
        EXPECT_EQ(first.Body.find("qmx_tank_"), std::string::npos) << "no tanks before the first round: " << first.Body;
        std::string said;
        EXPECT_TRUE(PromtoolAccepts(first.Body, said)) << said << first.Body;

        const TResponse after = ScrapeUntil(port, "qmx_rounds_total" + device + " 1\n");
        ASSERT_NE(after.Body.find("qmx_rounds_total" + device + " 1\n"), std::string::npos) << after.Body;
        EXPECT_NE(after.Body.find("\nqmx_up" + device + " " + c.Up + "\n"), std::string::npos) << after.Body;
        std::ifstream in(file);
        const std::string written(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(after.Body.substr(after.Body.find("# HELP qmx_tank_level")), written) << "the file's, after qmx_up";
        EXPECT_TRUE(PromtoolAccepts(after.Body, said)) << said << after.Body;
    }
}

// Tanks 2 and 3 are silent: a round spends over six seconds on them.
TEST(ExporterProcess, AScrapeDuringARoundGetsTheLastRoundAtOnceAndASignalStillEndsTheReader) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    gauge.SetFault(2, sim::TFault::NoAnswer);
    gauge.SetFault(3, sim::TFault::NoAnswer);
    sim::TSimServer server(gauge, pty.Master());
    TExportingReader reader({"--device", pty.SlavePath(), "--tanks", "1-3", "--watch", "1", "--fast", "--listen", "0"});
    const int port = reader.Port("127.0.0.1");
    ASSERT_NE(port, 0) << reader.Errors();
    // A scraper that sent half a request and stalls, all along.
    const auto stalled = Connect("127.0.0.1", port);
    ASSERT_GE(stalled->Fd, 0);
    ASSERT_GT(::send(stalled->Fd, "GET /met", 8, MSG_NOSIGNAL), 0);
    const std::string device = "{device=\"" + pty.SlavePath() + "\"}";
    ASSERT_NE(ScrapeUntil(port, "qmx_rounds_total" + device + " 1\n").Body.find("qmx_rounds_total" + device + " 1\n"),
              std::string::npos);
    // A round is 2 requests for tank 1 and 3 for each silent tank: the
    // eighth is the second round's first for tank 2.
    for (const auto until = TClock::now() + 30s; server.Requests() < 8 && TClock::now() < until;)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(server.Requests(), 8);
    const auto asked = TClock::now();
    const TResponse during = Get("127.0.0.1", port, "/metrics");
    EXPECT_LT(TClock::now() - asked, 1500ms) << "a scrape waited for the round";
    EXPECT_NE(during.Body.find("qmx_rounds_total" + device + " 1\n"), std::string::npos) << during.Body;
    EXPECT_NE(during.Body.find("\nqmx_up" + device + " 1\n"), std::string::npos) << during.Body;
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(1s), 143) << reader.Errors();
}

TEST(ExporterProcess, RefusedBeforeTheFirstRequest) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Arguments;  // PORT: the one held
        int HeldWith;                        // a socket option on the held port, 0 none; -1: no port held
        int Status;
        std::string Message;
    };
    const TCase cases[] = {
        {"no --watch", {"--listen", "0"}, -1, 2, "qmx-read: --listen goes with --watch"},
        {"port in use", {"--watch", "60", "--listen", "PORT"}, 0, 4,
         "qmx-read: cannot listen on 127.0.0.1:PORT: Address already in use\n"},
        // A reader that shared its port on request would split the scrapes
        // with whatever holds it.
        {"port held for sharing", {"--watch", "60", "--listen", ":PORT"}, SO_REUSEPORT, 4,
         "qmx-read: cannot listen on 127.0.0.1:PORT: Address already in use\n"},
    };
    for (const auto& c : cases) {
        TSocket held(AF_INET);
        int port = 0;
        if (c.HeldWith >= 0) {
            const int yes = 1;
            if (c.HeldWith != 0) ::setsockopt(held.Fd, SOL_SOCKET, c.HeldWith, &yes, sizeof yes);
            socklen_t length = 0;
            sockaddr_storage address = Address("127.0.0.1", 0, length);
            ASSERT_EQ(::bind(held.Fd, reinterpret_cast<sockaddr*>(&address), length), 0);
            ASSERT_EQ(::listen(held.Fd, 1), 0);
            ASSERT_EQ(::getsockname(held.Fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
            port = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        }
        const auto withPort = [port](std::string text) {
            if (const auto at = text.find("PORT"); at != std::string::npos) text.replace(at, 4, std::to_string(port));
            return text;
        };
        test::TPtyPair pty(kPort);
        sim::TGauge gauge;
        sim::TSimServer server(gauge, pty.Master());
        std::vector<std::string> arguments{"--device", pty.SlavePath()};
        for (const auto& argument : c.Arguments) arguments.push_back(withPort(argument));
        TExportingReader reader(arguments);
        EXPECT_EQ(reader.Wait(20s), c.Status) << c.Name << ": " << reader.Errors();
        EXPECT_NE(reader.Errors().find(withPort(c.Message)), std::string::npos) << c.Name << ": " << reader.Errors();
        EXPECT_EQ(server.Requests(), 0) << c.Name;
    }
}

}  // namespace
}  // namespace qmx::tools
