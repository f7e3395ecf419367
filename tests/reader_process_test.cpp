// qmx-read as a technician runs it, against the simulated gauge on a pty:
// interrupted, writing to a full disk, given a bad trace file or option,
// losing its device while it reads, and run by systemd as a service.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "gauge.h"
#include "sim_server.h"
#include "support/child_process.h"
#include "support/notify_socket.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"
#include "support/replug_line.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr int kPort = 9;

using TReader = test::TReaderProcess;
using test::CountOf;

// A JSON array of rows, whole: opened, rows separated, closed.
using nlohmann::json;

// The output parsed: one array of `rows` tank objects.
void ExpectWholeJson(const std::string& text, std::size_t rows) {
    const json parsed = json::parse(text, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << "not JSON: " << text;
    ASSERT_TRUE(parsed.is_array()) << text;
    EXPECT_EQ(parsed.size(), rows) << text;
    for (const auto& row : parsed) EXPECT_TRUE(row.is_object() && row.value("tank", 0) >= 1) << row;
}

// JSON lines: each line one object.
std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(json::parse(line, nullptr, false));
        EXPECT_TRUE(lines.back().is_object()) << "not a JSON object: " << line;
    }
    return lines;
}

struct TSignalCase {
    int Signal;
    int Status;
};

class ReaderSignal : public ::testing::TestWithParam<TSignalCase> {};

TEST_P(ReaderSignal, PrintsWhatWasReadAndExitsPromptly) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    // Tank 2 does not answer: its reading would go on for over three seconds.
    gauge.SetFault(2, sim::TFault::NoAnswer);
    sim::TSimServer server(gauge, pty.Master());
    TReader reader({"--device", pty.SlavePath(), "--tanks", "1-33", "--json"});
    ASSERT_TRUE(reader.WaitFor("{\"tank\": 1,", 20s)) << reader.Errors();
    // Into tank 2's first attempt: its request has come.
    const auto until = TClock::now() + 10s;
    while (server.Requests() < 3 && TClock::now() < until) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(server.Requests(), 3);
    reader.Signal(GetParam().Signal);
    EXPECT_EQ(reader.Wait(), GetParam().Status) << reader.Errors();
    // Tank 1 took an L and a G request. Waited for, tank 2's reading would
    // send all three of its attempts; the signal, in the first, comes
    // two seconds before the third.
    EXPECT_LT(server.Requests(), 2 + 3) << "no waiting for the tank in progress";
    ExpectWholeJson(reader.Output(), 1);
    EXPECT_NE(reader.Errors().find("interrupted after 1 tanks"), std::string::npos) << reader.Errors();
}

INSTANTIATE_TEST_SUITE_P(Signals, ReaderSignal,
                         ::testing::Values(TSignalCase{SIGINT, 130}, TSignalCase{SIGTERM, 143}),
                         [](const ::testing::TestParamInfo<TSignalCase>& signal) {
                             return std::string(signal.param.Signal == SIGINT ? "Interrupt" : "Terminate");
                         });

// Refused before anything is read: the gauge hears no request.
TEST(ReaderRefuses, BadOutputTraceDeviceAndOptionsEndWithTheirStatusBeforeReading) {
    // A trace FIFO nobody reads: opening it to write would wait for ever.
    const std::string fifo = "/tmp/qmx-read-fifo-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A regular file standard output writes to, as a shell's > makes it.
    const std::string rows = "/tmp/qmx-read-rows-" + std::to_string(::getpid()) + ".csv";
    std::ofstream{rows};
    struct TCase {
        const char* Name;
        std::vector<std::string> Extra;
        const char* StdoutPath;
        std::string Message;
        int Status;  // 4 for what cannot be written, 2 for a wrong command line
    };
    const TCase cases[] = {
        {"full disk", {}, "/dev/full", "cannot write the output: No space left on device", 4},
        {"trace file", {"--trace", "/nonexistent/qmx/wire.log"}, "", "cannot open the trace file /nonexistent/qmx/wire.log",
         4},
        {"trace FIFO", {"--trace", fifo}, "", ": a FIFO with no reader", 4},
        {"trace into the rows' file", {"--trace", "/dev/stdout", "--csv"}, rows.c_str(),
         "the trace /dev/stdout is the file the rows go to", 2},
        {"metrics directory", {"--metrics", "/nonexistent/qmx/qmx.prom"}, "",
         "cannot write the metrics to /nonexistent/qmx/qmx.prom: no such directory /nonexistent/qmx\n", 4},
        {"metrics FIFO", {"--metrics", fifo}, "", "cannot write the metrics to " + fifo + ": it is a FIFO", 4},
        {"port number", {"--com", "3x"}, "", "--com takes a port number from 1 to 253", 2},
        {"tank list", {"--tanks", "1-+4"}, "", "--tanks takes a list", 2},
        {"no such device", {"--device", "/nonexistent/ttyUSB9"}, "", "cannot open /nonexistent/ttyUSB9: no such device",
         3},
    };
    for (const auto& c : cases) {
        test::TPtyPair pty(kPort);
        sim::TGauge gauge;
        sim::TSimServer server(gauge, pty.Master());
        std::vector<std::string> arguments = c.Extra;
        if (std::string(c.Name) != "port number" && std::string(c.Name) != "no such device")
            arguments.insert(arguments.begin(), {"--device", pty.SlavePath()});
        TReader reader(arguments, c.StdoutPath);
        EXPECT_EQ(reader.Wait(), c.Status) << c.Name;
        EXPECT_NE(reader.Errors().find(c.Message), std::string::npos) << c.Name << ": " << reader.Errors();
        EXPECT_EQ(server.Requests(), 0) << c.Name;
    }
    ::unlink(fifo.c_str());
    ::unlink(rows.c_str());
}

// With standard output a pipe nobody reads, the reader is blocked in its
// first write, holding the output's lock; a signal still ends it at once.
class ReaderSignalOnABlockedOutput : public ::testing::TestWithParam<TSignalCase> {};

TEST_P(ReaderSignalOnABlockedOutput, EndsWithinASecond) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    test::TFullPipe out;
    TReader reader({"--device", pty.SlavePath(), "--tanks", "1-4", "--watch", "1", "--fast"}, "", out.WriteEnd());
    ASSERT_TRUE(test::BlockedOnAPipe(reader.Id()));
    reader.Signal(GetParam().Signal);
    EXPECT_EQ(reader.Wait(1s), GetParam().Status) << reader.Errors();
    EXPECT_NE(reader.Errors().find("interrupted after"), std::string::npos) << reader.Errors();
}

INSTANTIATE_TEST_SUITE_P(Signals, ReaderSignalOnABlockedOutput,
                         ::testing::Values(TSignalCase{SIGINT, 130}, TSignalCase{SIGTERM, 143}),
                         [](const ::testing::TestParamInfo<TSignalCase>& signal) {
                             return std::string(signal.param.Signal == SIGINT ? "Interrupt" : "Terminate");
                         });

// Whoever reads the output or the trace may leave: a trace's reader leaving
// is said once and the reading goes on; standard output's reader leaving
// ends the reader as the broken pipe's signal ends Unix tools.
TEST(ReaderPipes, ATraceReaderLeavingIsSaidOnceAndTheReadingGoesOn) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    const std::string fifo = "/tmp/qmx-read-trace-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int traceReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    TReader reader({"--device", pty.SlavePath(), "--tanks", "1-3", "--json", "--trace", fifo});
    std::string trace;
    const auto until = TClock::now() + 20s;
    while (trace.find("accepted") == std::string::npos && TClock::now() < until) {
        char chunk[4096];
        const ssize_t got = ::read(traceReader, chunk, sizeof chunk);
        if (got > 0) trace.append(chunk, static_cast<std::size_t>(got));
        else std::this_thread::sleep_for(10ms);
    }
    ASSERT_NE(trace.find("accepted"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" " + pty.SlavePath() + ", 9600 baud 7E1"), std::string::npos) << "names the device: " << trace;
    ::close(traceReader);
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    ExpectWholeJson(reader.Output(), 3);
    EXPECT_EQ(CountOf(reader.Errors(), "qmx-read: the trace to " + fifo + " stopped: its reader has gone\n"), 1u)
        << reader.Errors();
    ::unlink(fifo.c_str());
}

TEST(ReaderPipes, AnOutputReaderLeavingEndsTheReaderAsItsSignalDoes) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    TReader reader({"--device", pty.SlavePath(), "--tanks", "1-3", "--csv"});
    ASSERT_TRUE(reader.WaitFor("\n1,", 20s)) << reader.Errors();
    reader.CloseOutput();
    EXPECT_EQ(reader.Wait(), 128 + SIGPIPE) << reader.Errors();
    EXPECT_EQ(reader.Errors().find("cannot write"), std::string::npos) << reader.Errors();
}

// The device goes while tank 2 is read; it comes back, or not, within the
// tank.
struct TGoneCase {
    const char* Name;
    bool ComesBack;
    int Status;
    std::size_t Rows;
};

class ReaderDeviceGone : public ::testing::TestWithParam<TGoneCase> {};

TEST_P(ReaderDeviceGone, SaysSoOnceAndStopsOrGoesOn) {
    const TGoneCase& c = GetParam();
    test::TReplugLine line(kPort);
    sim::TGauge gauge;
    auto server = std::make_unique<sim::TSimServer>(gauge, line.Master());
    TReader reader({"--device", line.Path(), "--tanks", "1-3", "--json"});
    ASSERT_TRUE(reader.WaitFor("{\"tank\": 1,", 20s)) << reader.Errors();
    server.reset();
    line.Unplug();
    if (c.ComesBack) {
        std::this_thread::sleep_for(1500ms);
        line.Plug();
        server = std::make_unique<sim::TSimServer>(gauge, line.Master());
    }
    EXPECT_EQ(reader.Wait(), c.Status) << reader.Errors();
    ExpectWholeJson(reader.Output(), c.Rows);
    const std::string errors = reader.Errors();
    EXPECT_EQ(CountOf(errors, "has gone"), 1u) << errors;
    EXPECT_EQ(CountOf(errors, "is back"), c.ComesBack ? 1u : 0u) << errors;
    EXPECT_EQ(CountOf(errors, "did not come back; stopped at tank 2"), c.ComesBack ? 0u : 1u) << errors;
    if (c.ComesBack) {
        EXPECT_EQ(CountOf(reader.Output(), "\"valid\": true"), 3u) << reader.Output();
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, ReaderDeviceGone,
                         ::testing::Values(TGoneCase{"NotBack", false, 3, 2}, TGoneCase{"BackWithinTheTank", true, 0, 3}),
                         [](const ::testing::TestParamInfo<TGoneCase>& line) { return std::string(line.param.Name); });

// Round after round until interrupted: JSON lines with a UTC time each, and
// a metrics file that stands whole after every round.
TEST(ReaderWatch, JsonLinesEachRoundAndMetricsReplacedWhole) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    gauge.SetFault(2, sim::TFault::BadCheck);
    // Tank 3 reads valid, then fails: its last valid reading's time stays.
    gauge.SetScript(3, {sim::TFault::None, sim::TFault::None, sim::TFault::BadCheck, sim::TFault::BadCheck,
                        sim::TFault::BadCheck});
    sim::TSimServer server(gauge, pty.Master());
    char dir[] = "/tmp/qmx-watch-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string metrics = std::string(dir) + "/qmx.prom";
    TReader reader({"--device", pty.SlavePath(), "--tanks=1,2,1,3", "--json", "--watch=1", "--fast", "--metrics",
                    metrics});
    // Two rounds: tank 1 at once, tank 2 after three failed attempts; the
    // metrics follow the round's last row.
    const std::string roundsDone = "qmx_rounds_total{device=\"" + pty.SlavePath() + "\"} 2\n";
    const auto metricsText = [&] {
        std::ifstream in(metrics);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const auto until = TClock::now() + 30s;
    while (metricsText().find(roundsDone) == std::string::npos && TClock::now() < until)
        std::this_thread::sleep_for(50ms);
    reader.Signal(SIGINT);
    EXPECT_EQ(reader.Wait(), 130) << reader.Errors();
    const std::string out = reader.Output();
    const std::vector<json> rows = JsonLines(out);
    std::vector<int> tanks;
    for (const auto& row : rows) {
        tanks.push_back(row.value("tank", 0));
        const std::string time = row.value("time", "");
        EXPECT_TRUE(time.size() == 24 && time.back() == 'Z') << "a UTC time stamp: " << row;
        if (row.value("tank", 0) == 2) {
            EXPECT_EQ(row.value("reason", ""), "check byte") << row;
            EXPECT_EQ(row.value("attempts", 0), 3) << row;
        }
    }
    // Tank 1 named twice is read once a round.
    ASSERT_GE(tanks.size(), 6u) << out;
    EXPECT_EQ(std::vector<int>(tanks.begin(), tanks.begin() + 6), (std::vector<int>{1, 2, 3, 1, 2, 3})) << out;
    std::ifstream in(metrics);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("qmx_rounds_total{device=\"" + pty.SlavePath() + "\"} 2\n"), std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("tank=\"2\",reason=\"check_byte\"} 1\n"), std::string::npos) << text.str();
    const std::string device = "{device=\"" + pty.SlavePath() + "\",tank=";
    EXPECT_NE(text.str().find("qmx_tank_valid" + device + "\"3\"} 0\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("qmx_tank_last_valid_timestamp_seconds" + device + "\"3\"} "), std::string::npos);
    EXPECT_EQ(text.str().find("qmx_tank_last_valid_timestamp_seconds" + device + "\"2\"}"), std::string::npos);
    std::filesystem::remove_all(dir);
}

// Run by systemd as a notify service, what it tells NOTIFY_SOCKET: ready,
// each round's status, and that it is alive, after each tank and through
// the wait between rounds, until it is stopped (SIGSTOP), when the
// watchdog must hear nothing.
TEST(ReaderService, ReadyStatusEachRoundAndAliveOnlyWhileItRuns) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    constexpr auto kAliveEvery = 250ms;  // half the watchdog's time
    test::TNotifySocket systemd(2 * kAliveEvery);
    TReader reader({"--device", pty.SlavePath(), "--tanks", "1,2", "--watch", "2", "--fast", "--quiet"}, "/dev/null");
    // Each message, and the statuses' places among them, up to round 2's.
    std::vector<std::string> heard;
    std::vector<std::size_t> statuses;
    for (const auto until = TClock::now() + 40s; statuses.size() < 2 && TClock::now() < until;)
        if (const auto message = systemd.Next(1s)) {
            if (message->rfind("STATUS=", 0) == 0) statuses.push_back(heard.size());
            heard.push_back(*message);
        }
    ASSERT_EQ(statuses.size(), 2u) << reader.Errors();
    EXPECT_EQ(heard.front(), "READY=1") << "ready before anything else";
    for (std::size_t round = 0; round < 2; ++round) {
        const std::string& status = heard[statuses[round]];
        EXPECT_EQ(status.rfind("STATUS=round " + std::to_string(round + 1) + " ended ", 0), 0u) << status;
        EXPECT_TRUE(status.ends_with("Z: 2 of 2 tanks valid")) << status;
    }
    // Between the rounds, a tick after each of the two tanks and more while
    // the reader waits out the 2 s of the round.
    const auto ticks = std::count(heard.begin() + static_cast<std::ptrdiff_t>(statuses[0]),
                                  heard.begin() + static_cast<std::ptrdiff_t>(statuses[1]), std::string("WATCHDOG=1"));
    EXPECT_GE(ticks, 2 + 2) << "ticks between the rounds";
    reader.Signal(SIGSTOP);
    ASSERT_TRUE(test::Stopped(reader.Id()));
    while (systemd.Next(0ms)) {
    }
    const auto stopped = systemd.Next(6 * kAliveEvery);
    EXPECT_FALSE(stopped) << "a stopped reader said " << stopped.value_or("");
    reader.Signal(SIGCONT);
    EXPECT_EQ(systemd.Next(20 * kAliveEvery), "WATCHDOG=1") << "ticks again once it goes on";
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(), 143) << reader.Errors();
    bool stopping = false;
    while (const auto message = systemd.Next(0ms)) stopping = stopping || *message == "STOPPING=1";
    EXPECT_TRUE(stopping) << "says it is stopping";
}

// The conventions a Unix user expects, as the technician meets them.
TEST(ReaderCommandLine, VersionHintsAndConflictsWithoutReading) {
    struct TCase {
        std::vector<std::string> Arguments;
        int Status;
        const char* Out;  // on standard output
        const char* Err;  // on standard error
    };
    const TCase cases[] = {
        {{"--version"}, 0, "qmx-read " QMX_VERSION " (Quelmarox gauge, protocol v3.00)\n", ""},
        {{"--help"}, 0, "9600 baud, 7 data bits, even parity, 1 stop bit (7E1), RTS low", ""},
        {{"--list", "--json"}, 0, "[", ""},
        {{"--list", "--match", "^nothing here$", "--json"}, 0, "[]\n", ""},
        {{"--list", "--match", "^nothing here$"}, 0, "COM     DEVICE", ""},
        {{"--list", "--match=("}, 2, "", "--match takes VID:PID (like 0403:6001) or a regular expression"},
        {{"--jsno"}, 2, "", "qmx-read: unknown option '--jsno' (did you mean --json?)\nTry 'qmx-read --help'"},
        {{"--com=3", "--json", "--csv"}, 2, "", "--json and --csv cannot go together"},
        {{"--com", "3", "--pause", "10"}, 2, "", "--pause goes with --fast"},
        {{"--monitor", "/dev/null", "--device", "/dev/null"}, 2, "", "--monitor and --device cannot go together"},
        {{"--monitor", "/dev/null"}, 3, "", "cannot open /dev/null: not a serial line"},
    };
    for (const auto& c : cases) {
        TReader reader(c.Arguments);
        EXPECT_EQ(reader.Wait(), c.Status) << c.Arguments[0];
        EXPECT_NE(reader.Output().find(c.Out), std::string::npos) << reader.Output();
        if (c.Arguments.back() == "--json") {
            EXPECT_TRUE(json::parse(reader.Output(), nullptr, false).is_array()) << reader.Output();
        }
        EXPECT_NE(reader.Errors().find(c.Err), std::string::npos) << reader.Errors();
        EXPECT_EQ(reader.Errors().find("Usage:"), std::string::npos) << "a hint, not the usage: " << reader.Errors();
    }
}

}  // namespace
}  // namespace qmx
