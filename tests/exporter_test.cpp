// The reader's HTTP exporter: the addresses --listen takes, when qmx_up says
// the gauge was reached, the HTTP server under it against clients that stall
// or flood it, and qmx-read serving real scrapes over loopback while it
// reads the simulated gauge on a pty; promtool checks what it serves.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gauge.h"
#include "listen_address.h"
#include "metrics.h"
#include "netline/http_server.h"
#include "sim_server.h"
#include "support/child_process.h"
#include "support/http_client.h"
#include "support/reader_process.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace qmx::tools {
namespace {

using namespace std::chrono_literals;
using test::Connect;
using test::Get;
using test::TExportingReader;
using test::TResponse;
using test::TSocket;
using TClock = std::chrono::steady_clock;

TEST(ListenAddress, APortAloneIsLoopbackAColonBeforeItEveryAddressAndAnAddressIsAsNamed) {
    struct TCase {
        const char* Text;
        const char* Shown;    // the address taken; nullptr when refused
        const char* Problem;  // part of the refusal
    };
    const TCase cases[] = {
        {"9723", "127.0.0.1:9723", ""},
        {":9723", "0.0.0.0:9723", ""},  // as every Prometheus exporter takes it
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
    valid.SecondValue = 0;
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

// Scrapes until the body holds `text`; the last scrape either way.
TResponse ScrapeUntil(int port, const std::string& text, std::chrono::seconds limit = 30s) {
    TResponse response;
    for (const auto until = TClock::now() + limit; TClock::now() < until; std::this_thread::sleep_for(20ms))
        if ((response = Get("127.0.0.1", port, "/metrics")).Body.find(text) != std::string::npos) break;
    return response;
}

constexpr int kPort = 9;

// An IPv4 address of this machine's own that is not loopback (a connection
// to it never leaves the machine), or empty when it has none.
std::string OwnOtherAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return "";
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owned(list, ::freeifaddrs);
    for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
        if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_INET || (at->ifa_flags & IFF_UP) == 0) continue;
        const in_addr address = reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr;
        char text[INET_ADDRSTRLEN];
        if ((ntohl(address.s_addr) >> 24) != 127 && ::inet_ntop(AF_INET, &address, text, sizeof text) != nullptr)
            return text;
    }
    return "";
}

TEST(ExporterProcess, ServesThePagesOnLoopbackUnlessAnAddressOrAColonIsGiven) {
    // `:0` is scraped on another address of the machine's own, which a
    // loopback-only bind would refuse. A bare container has loopback alone:
    // then what shows `:0` is every address is the bind to 0.0.0.0 itself.
    const std::string other = OwnOtherAddress();
    if (other.empty()) std::fprintf(stderr, "no IPv4 address but loopback: `:0` checked by its bind to 0.0.0.0\n");
    struct TCase {
        const char* Listen;
        std::string Host;
        const char* Said;  // the host in the URL it says
        const char* Table;
        const char* Bound;  // as /proc/net shows it
        bool Everywhere;    // reached on the other address too
    };
    const TCase cases[] = {
        {"0", "127.0.0.1", "127.0.0.1", "tcp", "0100007F", false},
        {":0", other.empty() ? "127.0.0.1" : other, "0.0.0.0", "tcp", "00000000", true},
        {"[::1]:0", "::1", "[::1]", "tcp6", "00000000000000000000000001000000", false},
    };
    for (const auto& c : cases) {
        test::TPtyPair pty(kPort);
        sim::TGauge gauge;
        sim::TSimServer server(gauge, pty.Master());
        TExportingReader reader({"--device", pty.SlavePath(), "--tanks", "1", "--watch", "60", "--listen", c.Listen});
        const int port = reader.Port(c.Said);
        ASSERT_NE(port, 0) << c.Listen << ": " << reader.Errors();
        EXPECT_EQ(ListeningOn(c.Table, port), c.Bound) << c.Listen;
        if (!other.empty()) {
            EXPECT_EQ(Connect(other, port)->Fd >= 0, c.Everywhere) << c.Listen << " on " << other;
        }
        const TResponse page = Get(c.Host, port, "/");
        EXPECT_EQ(page.Status, 200) << c.Listen;
        EXPECT_EQ(page.Type, "text/html; charset=utf-8");
        EXPECT_NE(page.Body.find("<a href=\"/metrics\">"), std::string::npos) << page.Body;
        const TResponse metrics = Get(c.Host, port, "/metrics");
        EXPECT_EQ(metrics.Status, 200) << c.Listen;
        EXPECT_EQ(metrics.Type.rfind("text/plain; version=0.0.4", 0), 0u) << metrics.Type;
        const TResponse tanks = Get(c.Host, port, "/tanks.json");
        EXPECT_EQ(tanks.Status, 200) << c.Listen;
        EXPECT_EQ(tanks.Type, "application/json; charset=utf-8");
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
        {"port held for sharing", {"--watch", "60", "--listen", "PORT"}, SO_REUSEPORT, 4,
         "qmx-read: cannot listen on 127.0.0.1:PORT: Address already in use\n"},
        // Every address takes in loopback's.
        {"port in use on loopback", {"--watch", "60", "--listen", ":PORT"}, 0, 4,
         "qmx-read: cannot listen on 0.0.0.0:PORT: Address already in use\n"},
    };
    for (const auto& c : cases) {
        TSocket held(AF_INET);
        int port = 0;
        if (c.HeldWith >= 0) {
            const int yes = 1;
            if (c.HeldWith != 0) ::setsockopt(held.Fd, SOL_SOCKET, c.HeldWith, &yes, sizeof yes);
            socklen_t length = 0;
            sockaddr_storage address = test::Address("127.0.0.1", 0, length);
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

TEST(HttpRequestHead, TakenOrRefusedWithinItsBounds) {
    using TState = net::THttpHead::TState;
    std::string many;  // one header over the bound, the head not yet ended
    for (int i = 0; i <= 64; ++i) many += "X-" + std::to_string(i) + ": 1\r\n";
    struct TCase {
        std::string Text;
        TState State;
        int Status;
        std::string Path;
        bool KeepAlive;
    };
    const std::string host = "Host: qmx\r\n";
    const TCase cases[] = {
        {"GET /metrics?x=1 HTTP/1.1\r\n" + host + "\r\n", TState::Complete, 0, "/metrics", true},
        {"GET / HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n", TState::Complete, 0, "/", false},
        {"GET / HTTP/1.0\r\n\r\n", TState::Complete, 0, "/", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", TState::Complete, 0, "/", true},
        {"GET / HTTP/1.1\r\n" + host, TState::Incomplete, 0, "", true},
        {"GET / HTTP/1.1\r\n\r\n", TState::Refused, 400, "", true},  // no Host
        {"GET / HTTP/1.1\r\n" + host + host + "\r\n", TState::Refused, 400, "", true},
        {"GET / HTTP/1.1\r\nHost : qmx\r\n\r\n", TState::Refused, 400, "", true},
        {"GET / HTTP/1.1\r\n" + host + " folded\r\n\r\n", TState::Refused, 400, "", true},
        {"GET / HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\n", TState::Refused, 400, "", true},
        {"GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n", TState::Refused, 400, "", true},
        {"GET metrics HTTP/1.1\r\n" + host + "\r\n", TState::Refused, 400, "", true},
        {"GET / HTTP/2.0\r\n" + host + "\r\n", TState::Refused, 505, "", true},
        {"GET / HTTP/1.1\r\n" + host + many, TState::Refused, 431, "", true},
        {"GET / HTTP/1.1\r\n" + host + "X: " + std::string(9000, 'a'), TState::Refused, 431, "", true},
        {"GET /" + std::string(9000, 'a'), TState::Refused, 414, "", true},
    };
    for (const auto& c : cases) {
        const auto head = net::ParseRequestHead(c.Text, net::THttpHeadLimits{});
        EXPECT_EQ(head.State, c.State) << c.Text.substr(0, 60);
        EXPECT_EQ(head.Status, c.Status) << c.Text.substr(0, 60);
        if (c.State != TState::Complete) continue;
        EXPECT_EQ(head.Length, c.Text.size()) << c.Text;
        EXPECT_EQ(head.Request.Path, c.Path) << c.Text;
        EXPECT_EQ(head.Request.KeepAlive, c.KeepAlive) << c.Text;
    }
}

// The server on loopback with one page. Its deadlines are a minute unless
// a case shortens them: a server that let one client hold up another would
// keep a scrape past the client's own five-second limit.
struct TTestServer {
    explicit TTestServer(net::THttpServerLimits limits)
        : Server(
              Listener(),
              [](const net::THttpRequest&) { return net::THttpResponse{200, "text/plain", "up 1\n", ""}; }, limits) {}
    static net::TListener Listener() {
        int error = 0;
        return net::TListener::Bind("127.0.0.1", 0, SOMAXCONN, error);
    }
    int Port() const { return Server.Listener().Port(); }
    net::THttpServer Server;
};

net::THttpServerLimits PatientLimits() {
    net::THttpServerLimits limits;
    limits.RequestTimeout = limits.IdleTimeout = 60s;
    return limits;
}

TEST(HttpServer, GoodScrapesAnswerWhileIdleSlowAndFloodingClientsHangOn) {
    struct TCase {
        std::size_t MaxConnections;
        int Idle;
    };
    // Beyond its connections, the one that asked nothing longest makes room.
    for (const TCase c : {TCase{256, 50}, TCase{8, 20}}) {
        auto limits = PatientLimits();
        limits.MaxConnections = c.MaxConnections;
        TTestServer server(limits);
        std::vector<std::unique_ptr<TSocket>> idle, slow;
        for (int i = 0; i < c.Idle; ++i) idle.push_back(Connect("127.0.0.1", server.Port()));
        for (int i = 0; i < 4; ++i) {
            slow.push_back(Connect("127.0.0.1", server.Port()));
            ::send(slow.back()->Fd, "GET /metrics HTTP/1.1\r\nHo", 25, MSG_NOSIGNAL);
        }
        for (int i = 0; i < 20; ++i) {
            for (const auto& client : slow) ::send(client->Fd, "o", 1, MSG_NOSIGNAL);
            EXPECT_EQ(Get("127.0.0.1", server.Port(), "/metrics").Body, "up 1\n") << c.Idle << " idle, scrape " << i;
        }
        EXPECT_EQ(test::Flood(server.Port(), 200000).rfind("HTTP/1.1 431 ", 0), 0u);
        EXPECT_EQ(Get("127.0.0.1", server.Port(), "/metrics").Status, 200) << "after the flood";
    }
}

TEST(HttpServer, AClientIsClosedAtItsDeadlineAndAskingOnOneConnectionIsAnswered) {
    struct TCase {
        const char* Name;
        std::string Sent;  // at once
        bool Trickle;      // then a byte every 50 ms
        std::string Answers;
    };
    const std::string ask = "GET / HTTP/1.1\r\nHost: qmx\r\n\r\n";
    const TCase cases[] = {
        {"idle", "", false, ""},
        {"a header a byte at a time", "GET / HTTP/1.1\r\nX", true, ""},
        {"kept alive, then idle", ask, false, "200 "},
        {"two at once, then idle", ask + ask, false, "200 200 "},
        {"POST", "POST / HTTP/1.1\r\nHost: qmx\r\nContent-Length: 0\r\n\r\n", false, "405 "},
    };
    for (const auto& c : cases) {
        auto limits = PatientLimits();
        limits.RequestTimeout = limits.IdleTimeout = 300ms;
        TTestServer server(limits);
        const auto client = Connect("127.0.0.1", server.Port());
        ::send(client->Fd, c.Sent.data(), c.Sent.size(), MSG_NOSIGNAL);
        ::fcntl(client->Fd, F_SETFL, O_NONBLOCK);
        std::string answers;
        bool closed = false;
        for (const auto until = TClock::now() + 10s; !closed && TClock::now() < until;) {
            if (c.Trickle) ::send(client->Fd, "x", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(50ms);
            char chunk[4096];
            for (ssize_t got; (got = ::recv(client->Fd, chunk, sizeof chunk, 0)) != 0;) {
                if (got < 0) {
                    closed = errno != EAGAIN;
                    break;
                }
                answers.append(chunk, static_cast<std::size_t>(got));
            }
            closed = closed || ::recv(client->Fd, chunk, 1, MSG_PEEK) == 0;
        }
        EXPECT_TRUE(closed) << c.Name;
        std::string statuses;
        for (auto at = answers.find("HTTP/1.1 "); at != std::string::npos; at = answers.find("HTTP/1.1 ", at + 1))
            statuses += answers.substr(at + 9, 4);
        EXPECT_EQ(statuses, c.Answers) << c.Name << ": " << answers;
    }
}

}  // namespace
}  // namespace qmx::tools
