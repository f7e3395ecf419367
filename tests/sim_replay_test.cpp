// A field trace played back by the simulator: the trace read as the tools
// write it, each request answered with what came after it in the field, at
// the same times, and a station's fault seen again in the lab.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/wire_trace.h"
#include "sim_options.h"
#include "sim_server.h"
#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"
#include "trace_replay.h"
#include "wire_trace_reader.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using TBytes = std::vector<std::uint8_t>;

constexpr char kHeader[] = "=== 2026-12-08 14:18:39.203 COM9, 9600 baud 7E1, RTS low; > sent by this program, < received by it\n";

// A line as the tools' trace writes it, at 14:18:SS.mmm given in ms.
std::string Line(int atMs, TWireTrace::TDirection direction, const TBytes& bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-08 14:18:%02d.%03d ", 40 + atMs / 1000, atMs % 1000);
    std::string lines;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::size_t count = std::min<std::size_t>(16, bytes.size() - at);
        lines += stamp + TWireTrace::Format(direction, bytes.data() + at, count) + "\n";
    }
    return lines;
}
std::string Sent(int atMs, const std::string& payload) {
    return Line(atMs, TWireTrace::TDirection::Sent, test::Frame(payload));
}
std::string Received(int atMs, const TBytes& bytes) { return Line(atMs, TWireTrace::TDirection::Received, bytes); }
std::string Verdict(int atMs, const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-08 14:18:%02d.%03d", 40 + atMs / 1000, atMs % 1000);
    return std::string(stamp) + " # " + text + "\n";
}

TTraceReplay Replay(const std::string& trace, std::vector<std::string>* said = nullptr) {
    TTraceReplay replay([said](const std::string& note) {
        if (said != nullptr) said->push_back(note);
    });
    const auto events = ReadWireTrace(trace, "wire.log");
    if (const auto* unread = std::get_if<std::string>(&events)) ADD_FAILURE() << *unread;
    else if (const auto problem = replay.Take(std::get<std::vector<TTraceEvent>>(events), "wire.log"))
        ADD_FAILURE() << *problem;
    return replay;
}

// What a reply plays: "+AT:BYTES" for each part, "silent" for none.
std::string Played(TTraceReplay& replay, const std::string& payload) {
    const auto reply = replay.Answer(test::Frame(payload), 0);
    if (!reply) return "silent";
    std::string shown;
    for (const auto& part : reply->Parts)
        shown += (shown.empty() ? "+" : " +") + std::to_string(part.AtMs) + ":" +
                 std::string(part.Bytes.begin(), part.Bytes.end());
    return shown;
}

TEST(TraceReading, WhatIsNoWireTraceIsRefusedWithItsLine) {
    const std::string sent = Sent(0, "L01");
    const std::pair<std::string, std::string> cases[] = {
        {sent, "wire.log:1: bytes before any === header, which says which way they went"},
        {std::string(kHeader) + "\n" + sent + "L01 came\n",
         "wire.log:4: no time stamp (like 2026-12-08 14:18:39.203) where one belongs: 'L01 came'"},
        {std::string(kHeader) + "2026-12-08 14:18:40.203 ? 02 4C\n",
         "wire.log:2: not a line of a wire trace (>, < or # after the time stamp): '2026-12-08 14:18:40.203 ? 02 4C'"},
        {std::string(kHeader) + "2026-12-08 14:18:40.203 > ZZ 4C\n",
         "wire.log:2: no bytes in hex (like 02 4C 30 31 03 4C): '2026-12-08 14:18:40.203 > ZZ 4C'"},
        {std::string(kHeader) + "2026-13-08 14:18:40.203 > 02\n",
         "wire.log:2: no time stamp (like 2026-12-08 14:18:39.203) where one belongs: '2026-13-08 14:18:40.203 > 02'"},
        {"=== yesterday COM9\n",
         "wire.log:1: no time stamp (like 2026-12-08 14:18:39.203) where one belongs: '=== yesterday COM9'"},
    };
    for (const auto& [text, problem] : cases) {
        const auto read = ReadWireTrace(text, "wire.log");
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << text;
        EXPECT_EQ(std::get<std::string>(read), problem);
    }
    TTraceReplay replay;
    EXPECT_EQ(replay.Take({}, "wire.log"), "wire.log: no request in it (a trace qmx-read wrote, with its === headers)");
}

TEST(TraceReading, TheWritersLinesReadBackWithTheirTimesAndBytes) {
    // 43 bytes in one read: three lines with one time stamp; an ASCII column
    // that looks like hex ("AB") ends no pair; CR LF as on Windows.
    TBytes answer = test::LevelAnswer("0123456", "0001200", "0125");
    const std::string text = "\n" + std::string(kHeader) + Sent(0, "L01") + Received(52, answer) +
                             Verdict(1000, "attempt 1 of 3 (L01): 43 bytes from the STX, accepted") +
                             Received(1001, {'A', 'B'}) + "2026-12-08 14:18:41.002 < 0D 0A        ..\r\n";
    const auto read = ReadWireTrace(text, "wire.log");
    ASSERT_TRUE(std::holds_alternative<std::vector<TTraceEvent>>(read)) << std::get<std::string>(read);
    const auto& events = std::get<std::vector<TTraceEvent>>(read);
    using K = TTraceEvent::TKind;
    ASSERT_EQ(events.size(), 7u) << "the header, the request, three answer lines, two more reads; no verdict";
    EXPECT_EQ(events[0].Kind, K::Section);
    EXPECT_EQ(events[1].Kind, K::Sent);
    EXPECT_EQ(events[1].Bytes, test::Frame("L01"));
    TBytes joined;
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(events[i].Kind, K::Received);
        EXPECT_EQ(events[i].AtMs - events[1].AtMs, 52);
        joined.insert(joined.end(), events[i].Bytes.begin(), events[i].Bytes.end());
    }
    EXPECT_EQ(joined, answer);
    EXPECT_EQ(events[5].Bytes, (TBytes{'A', 'B'}));
    EXPECT_EQ(events[6].Bytes, (TBytes{0x0D, 0x0A}));
    EXPECT_EQ(events[6].AtMs - events[1].AtMs, 1002);
}

TEST(TraceReplay, EachAppearanceOfARequestGetsWhatCameAfterItInTurn) {
    const TBytes first = test::Frame("L01 first"), second = test::Frame("L01 second");
    const std::string trace =
        std::string(kHeader) +
        Received(0, {'x'}) +  // before any request: no answer to anything
        Sent(10, "L01") + Received(60, {first.begin(), first.begin() + 4}) +
        Received(75, {first.begin() + 4, first.end()}) +               // one answer, two reads
        Sent(1100, "L02") +                                            // silence
        Sent(2200, "L01") + Received(2240, second) +
        "\n" + kHeader +                                               // a new run
        Received(3000, {'y'}) + Sent(3010, "G01") + Received(4200, {'z'});
    std::vector<std::string> said;
    TTraceReplay replay = Replay(trace, &said);
    EXPECT_EQ(replay.Requests(), 3u);
    EXPECT_EQ(replay.Exchanges(), 4u);
    const std::pair<const char*, std::string> cases[] = {
        {"L01", "+50:\x02L01 +65: first\x03" + std::string(1, static_cast<char>(first.back()))},
        {"L02", "silent"},
        {"L01", "+40:" + std::string(second.begin(), second.end())},
        {"L01", "+50:\x02L01 +65: first\x03" + std::string(1, static_cast<char>(first.back()))},  // over again
        {"G01", "+1190:z"},
        {"L05", "silent"},
        {"L05", "silent"},
        {"L02", "silent"},
    };
    for (const auto& [request, played] : cases) EXPECT_EQ(Played(replay, request), played) << request;
    EXPECT_EQ(said, (std::vector<std::string>{"the trace has no request L05: not answered"})) << "said once";
}

// A late answer came while the reader awaited its next request: it is
// played after that one, at the time it came then.
TEST(TraceReplay, ALateAnswerIsPlayedAfterTheRequestItMet) {
    const TBytes late = test::LevelAnswer("0040004", "0000000", "0019", "L04");
    const std::string trace = std::string(kHeader) + Sent(0, "L04") + Verdict(1000, "attempt 1 of 3 (L04): no answer") +
                              Sent(1070, "L04") + Received(1200, late);
    TTraceReplay replay = Replay(trace);
    EXPECT_EQ(Played(replay, "L04"), "silent");
    EXPECT_EQ(Played(replay, "L04"), "+130:" + std::string(late.begin(), late.end()));
}

// On a line: each part no sooner than its time after the request, and the
// parts apart, as they came in the field.
TEST(TraceReplay, PartsComeAtTheirTimesOnTheLine) {
    const TBytes answer = test::LevelAnswer("0123456", "0000000", "0019");
    const TBytes head(answer.begin(), answer.begin() + 10), tail(answer.begin() + 10, answer.end());
    TTraceReplay replay = Replay(std::string(kHeader) + Sent(0, "L01") + Received(50, head) + Received(650, tail));
    test::TPtyPair pty(9);
    const int driverEnd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(driverEnd, 0);
    TSimServer server(replay, pty.Master());
    const auto request = test::Frame("L01");
    const auto asked = TClock::now();
    ASSERT_EQ(::write(driverEnd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    TBytes got;
    std::vector<std::pair<TClock::duration, std::size_t>> arrivals;
    while (got.size() < answer.size() && TClock::now() < asked + 10s) {
        pollfd ready{driverEnd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        std::uint8_t chunk[64];
        const ssize_t count = ::read(driverEnd, chunk, sizeof chunk);
        if (count <= 0) continue;
        got.insert(got.end(), chunk, chunk + count);
        arrivals.emplace_back(TClock::now() - asked, got.size());
    }
    ::close(driverEnd);
    EXPECT_EQ(got, answer);
    ASSERT_FALSE(arrivals.empty());
    // A read may return late, never early: bounds from below, and the head
    // seen on its own before the tail's time.
    EXPECT_GE(arrivals.front().first, 50ms);
    EXPECT_EQ(arrivals.front().second, head.size()) << "the head came alone";
    EXPECT_GE(arrivals.back().first, 650ms);
}

TEST(TraceReplay, ItGoesWithNoStationFileOrFault) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--replay", "w.log", "--config", "s.ini"}, "--replay and --config cannot go together"},
        {{"--fault", "late", "--replay=w.log"}, "--fault and --replay cannot go together"},
        {{"--replay", "w.log", "--fault-next", "late:1", "--fault-next", "junk"},
         "--replay and --fault-next cannot go together"},
        {{"--replay="}, "--replay takes a trace file"},
    };
    for (const auto& [arguments, problem] : cases) {
        const auto parsed = ParseSimOptions(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << problem;
        EXPECT_EQ(std::get<std::string>(parsed), problem);
    }
    const auto taken = ParseSimOptions({"--replay", "w.log", "--link", "/tmp/g", "--trace", "-"});
    ASSERT_TRUE(std::holds_alternative<TSimOptions>(taken));
    EXPECT_EQ(std::get<TSimOptions>(taken).Replay, "w.log");
}

class FieldTrace : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qmx-replay-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }
    std::string Path(const std::string& name) const { return (FDir / name).string(); }

    // Reads the tanks from the simulator started with `simulator` options;
    // the reader's status and CSV.
    std::pair<int, std::string> ReadThrough(const std::vector<std::string>& simulator, const std::string& link,
                                            std::vector<std::string> reader, std::string* simErrors = nullptr) {
        std::vector<std::string> arguments{"--link", link};
        arguments.insert(arguments.end(), simulator.begin(), simulator.end());
        test::TProgramProcess sim(QMX_SIM_PATH, arguments);
        EXPECT_EQ(sim.FirstLine(20s), link) << sim.Errors();
        reader.insert(reader.begin(), {"--device", link});
        test::TReaderProcess read(reader);
        const int status = read.Wait(120s);
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(10s), 0);
        if (simErrors != nullptr) *simErrors = sim.Errors();
        return {status, read.Output()};
    }

    std::filesystem::path FDir;
};

// A station whose tanks fail in the ways a field shows: a silence then a
// slow answer, bad check bytes, answers 1.2 s late that meet the next
// request, the next tank's answer.
constexpr char kFaultyStation[] =
    "[tank 1]\nlevel = 1234.56\ndrift = 0\n"
    "[tank 2]\nlevel = 200\ndrift = 0\nscript = no-answer, slow, none\n"
    "[tank 3]\nfault = bad-check\n"
    "[tank 4]\nlevel = 400.04\ndrift = 0\nfault = late\n"
    "[tank 5]\nfault = wrong-tank\n";

TEST_F(FieldTrace, TheReplayReadsAsTheFieldDid) {
    std::ofstream(Path("station.ini")) << kFaultyStation;
    const std::vector<std::string> reading{"--tanks", "1-5", "--csv", "--quiet", "--fast"};
    auto fieldReading = reading;
    fieldReading.insert(fieldReading.end(), {"--trace", Path("field.log")});
    const auto field = ReadThrough({"--config", Path("station.ini")}, Path("field"), fieldReading);
    ASSERT_EQ(field.first, 1) << field.second;
    // The faults did show in the field, so the comparison means something.
    for (const char* row : {"\n1,1234.56,", "\n2,200.00,", ",3,0,,check byte,3\n", "\n4,400.04,",
                            ",answer to another request: L06,3\n"})
        EXPECT_NE(field.second.find(row), std::string::npos) << row << " in\n" << field.second;

    std::string said;
    auto labReading = reading;
    labReading.insert(labReading.end(), {"--trace", Path("lab.log")});
    const auto lab = ReadThrough({"--replay", Path("field.log")}, Path("lab"), labReading, &said);
    EXPECT_EQ(lab.first, field.first);
    EXPECT_EQ(lab.second, field.second) << "the same rows: values, link, valid, reason, attempts";
    EXPECT_EQ(said.find("no request"), std::string::npos) << said;
    // Attempt by attempt too, the valid readings' included.
    const auto verdicts = [](const std::string& path) {
        std::vector<std::string> lines;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);)
            if (line.size() > 24 && line.compare(23, 3, " # ") == 0) lines.push_back(line.substr(26));
        return lines;
    };
    EXPECT_EQ(verdicts(Path("lab.log")), verdicts(Path("field.log")));
    EXPECT_GT(verdicts(Path("field.log")).size(), 15u);
}

TEST_F(FieldTrace, ARequestTheTraceNeverSawGoesUnansweredAndIsSaid) {
    const TBytes answer = test::LevelAnswer("0123456", "0000000", "0019");
    std::ofstream(Path("field.log")) << kHeader << Sent(0, "L01") << Received(5, answer);
    test::TProgramProcess sim(QMX_SIM_PATH, {"--link", Path("lab"), "--replay", Path("field.log")});
    ASSERT_EQ(sim.FirstLine(20s), Path("lab")) << sim.Errors();
    EXPECT_EQ(sim.Errors(), "qmx-sim: replaying " + Path("field.log") + ": 1 exchanges, 1 different requests\n");
    const int line = ::open(Path("lab").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(line, 0);
    const auto unknown = test::Frame("L05");
    ASSERT_EQ(::write(line, unknown.data(), unknown.size()), 6);
    EXPECT_TRUE(sim.WaitFor("qmx-sim: the trace has no request L05: not answered\n", 10s, true)) << sim.Errors();
    // Then a request it knows: what comes first is its answer, nothing for L05.
    const auto known = test::Frame("L01");
    ASSERT_EQ(::write(line, known.data(), known.size()), 6);
    TBytes got;
    for (const auto until = TClock::now() + 10s; got.size() < answer.size() && TClock::now() < until;) {
        pollfd ready{line, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        std::uint8_t chunk[64];
        const ssize_t count = ::read(line, chunk, sizeof chunk);
        if (count > 0) got.insert(got.end(), chunk, chunk + count);
    }
    ::close(line);
    EXPECT_EQ(got, answer);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(10s), 0);
}

TEST_F(FieldTrace, ATraceThatCannotBePlayedEndsItWithStatusTwo) {
    std::ofstream(Path("sim.log")) << Sent(0, "L01");  // a simulator's own trace: no header
    const std::pair<std::string, std::string> cases[] = {
        {Path("sim.log"), "qmx-sim: " + Path("sim.log") + ":1: bytes before any === header, which says which way they went\n"},
        {Path("none.log"), "qmx-sim: cannot read " + Path("none.log") + "\n"},
    };
    for (const auto& [trace, said] : cases) {
        test::TProgramProcess sim(QMX_SIM_PATH, {"--link", Path("lab"), "--replay", trace});
        EXPECT_EQ(sim.Wait(10s), 2);
        EXPECT_EQ(sim.Errors(), said);
        EXPECT_EQ(sim.Output(), "");
    }
}

}  // namespace
}  // namespace qmx::sim
