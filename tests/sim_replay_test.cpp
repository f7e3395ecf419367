// A field trace played back by the simulator: the trace read as the tools
// write it, each request answered with what came after it in the field, at
// the same times, and a station's fault seen again in the lab.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/time_stamp.h"
#include "serial/wire_trace.h"
#include "sim_server.h"
#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"
#include "support/temp_dir.h"
#include "trace_replay.h"
#include "wire_trace_reader.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;
using TDirection = TWireTrace::TDirection;

const std::string kHeader = "=== 2026-12-08 14:18:39.203 COM9, 9600 baud 7E1, RTS low; > sent by this program, < received by it\n";

// Lines as the tools' trace writes them, `atMs` after 14:18:40.
std::string Line(int atMs, TDirection direction, const TBytes& bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-08 14:18:%02d.%03d ", 40 + atMs / 1000, atMs % 1000);
    std::string lines;
    for (std::size_t at = 0; at < bytes.size(); at += 16)
        lines += stamp + FormatTraceBytes(direction, bytes.data() + at, std::min<std::size_t>(16, bytes.size() - at)) + "\n";
    return lines;
}
std::string Sent(int atMs, const std::string& payload) { return Line(atMs, TDirection::Sent, test::Frame(payload)); }
std::string Received(int atMs, const TBytes& bytes) { return Line(atMs, TDirection::Received, bytes); }

TEST(TraceReading, WhatIsNoWireTraceIsRefusedWithItsLine) {
    const std::pair<std::string, std::string> cases[] = {
        {Sent(0, "L01"), "1: bytes before any === header, which says which way they went"},
        {kHeader + "\n" + Sent(0, "L01") + "L01 came\n",
         "4: no time stamp (like 2026-12-08 14:18:39.203) where one belongs: 'L01 came'"},
        {kHeader + "2026-12-08 14:18:40.203 > ZZ 4C\n",
         "2: no bytes in hex (like 02 4C 30 31 03 4C): '2026-12-08 14:18:40.203 > ZZ 4C'"},
        {"\xEF\xBB\xBF" + kHeader + "\x1B[2J\x8B" + std::string(200, 'x') + "\n",  // Notepad's BOM taken
         "2: no time stamp (like 2026-12-08 14:18:39.203) where one belongs: '\\x1B[2J\\x8B" + std::string(115, 'x') + "...'"},
        {kHeader + Line(0, TDirection::Sent, test::LevelAnswer("0123456", "0000000", "0019")),
         "2: more bytes sent at once than a request has: another program's line under this header (two programs "
         "tracing to one file?): '2026-12-08 14:18:40.000 > 02 4C 30 31 20 30 41 30 30 31 32 33 34 35 36 30  .L01 0A00123456"
         "0'"},
    };
    for (const auto& [text, problem] : cases)
        EXPECT_EQ(std::get<std::string>(ReadWireTrace(text, "wire.log")), "wire.log:" + problem);
    EXPECT_EQ(TTraceReplay().Take({}, "wire.log"), "wire.log: no request in it (a trace qmx-read wrote, with its === headers)");
}

TTraceReplay Replay(const std::string& trace, std::vector<std::string>* said = nullptr) {
    TTraceReplay replay([said](const std::string& note) {
        if (said != nullptr) said->push_back(note);
    });
    const auto events = ReadWireTrace(trace, "wire.log");
    EXPECT_TRUE(std::holds_alternative<std::vector<TTraceEvent>>(events)) << std::get<std::string>(events);
    EXPECT_EQ(replay.Take(std::get<std::vector<TTraceEvent>>(events), "wire.log"), std::nullopt);
    return replay;
}

TEST(TraceReplay, EachAppearanceOfARequestGetsWhatCameAfterItInTurn) {
    const TBytes answer = test::LevelAnswer("0040004", "0000000", "0019", "L04"), paced{'G', 'H', 'I', 'J', 'K'};
    TBytes twoAsked = test::Frame("L13");
    for (const auto byte : test::Frame("L14")) twoAsked.push_back(byte);
    const std::string trace = kHeader + Received(0, {'x'}) +            // before any request: no answer
                              Sent(10, "L04") +                           // a silence, then the late answer
                              Sent(1080, "L04") + Received(1210, answer) +  // met the next request: three lines of one read
                              Sent(2200, "G04") + Received(2240, {'A', 'B'}) + Received(2255, {'\r', '\n'}) +
                              "\n" + kHeader + Received(3000, {'y'}) + Sent(3010, "L02") +  // a new run, a silence
                              Sent(4000, "L07") + "2026-12-08 15:18:44.100 < 41\n" +  // the clock an hour on
                              Sent(5000, "L08") + Received(4900, {'B'}) +              // and back
                              Sent(6000, "L09") + "2026-12-08 15:18:46.020 # the clock stepped by +3600.000 s\n" +
                              "2026-12-08 15:18:46.040 < 43\n" +  // a step the trace noted: played as it was
                              Sent(7000, "L10") + "2026-12-08 13:18:47.200 < 44\n" +  // summer time's end, unnoted
                              Sent(8000, "L11") + "2026-12-08 17:25:48.000 < 45\n" +  // hours late, no clock's jump
                              "\n=== 2026-12-08 14:18:50.000+02:00 [0.000] COM9\n"  // the steady clock's seconds rule
                              "2026-12-08 14:18:50.000+02:00 [0.000] " +
                              FormatTraceBytes(TDirection::Sent, test::Frame("L12").data(), 6) +
                              "\n2026-12-08 14:19:50.030+02:00 [0.030] < 46\n"
                              "2026-12-08 14:19:51.000+02:00 [1.000+0.010] " +  // two requests in one burst
                              FormatTraceBytes(TDirection::Sent, twoAsked.data(), twoAsked.size()) +
                              "\n2026-12-08 14:19:51.050+02:00 [1.050+0.040] " +  // a paced answer: spread over its span
                              FormatTraceBytes(TDirection::Received, paced.data(), paced.size()) + "\n";
    std::vector<std::string> said;
    TTraceReplay replay = Replay(trace, &said);
    EXPECT_EQ(replay.Requests(), 11u);
    EXPECT_EQ(replay.Exchanges(), 12u);
    const std::pair<const char*, std::string> cases[] = {
        {"L04", "silent"}, {"L04", "+130:" + std::string(answer.begin(), answer.end())},
        {"L04", "silent"},  // over again from the first
        {"G04", "+40:AB +55:\r\n"}, {"L02", "silent"}, {"L05", "silent"}, {"L05", "silent"},
        {"L07", "+100:A"}, {"L08", "+0:B"},  // a jump taken out; a small step back never hidden
        {"L09", "+40:C"},  {"L10", "+200:D"}, {"L11", "+1035:E"}, {"L12", "+30:F"},
        {"L13", "silent"}, {"L14", "+40:G +50:H +60:I +70:J +80:K"},  // L14 asked as the burst ended
    };
    for (const auto& [request, parts] : cases) {
        const auto reply = replay.Answer(test::Frame(request), 0);
        std::string shown = reply ? "" : "silent";
        for (const auto& part : reply ? reply->Parts : std::vector<TReplyPart>{})
            shown += (shown.empty() ? "+" : " +") + std::to_string(part.AtMs) + ":" + std::string(part.Bytes.begin(), part.Bytes.end());
        EXPECT_EQ(shown, parts) << request;
    }
    EXPECT_EQ(said, (std::vector<std::string>{
                        "wire.log: the trace's stamps jump by +1 h at line 16 (a clock change?): replayed as if they had not",
                        "wire.log:18: bytes stamped 100 ms before their request (the clock set back): played at once",
                        "wire.log: 1 part(s) recorded over 3210 ms after their request, longer than three attempts "
                        "wait, first on line 25: replayed just past the window, 1035 ms after it",
                        "the trace has no request L05: not answered"}))
        << "said once";
}

// What comes on `fd` within `limit`, up to `count` bytes; with when each
// read returned (late, never early) and how many had come by then.
// Each arrival is timed from `since`: the moment the request was written,
// which a busy machine may leave well before this call.
TBytes Collect(int fd, std::size_t count, std::vector<std::pair<std::chrono::nanoseconds, std::size_t>>* arrivals = nullptr,
               std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now()) {
    TBytes got;
    const auto start = since;
    while (got.size() < count && std::chrono::steady_clock::now() < start + 5s) {
        pollfd ready{fd, POLLIN, 0};
        std::uint8_t chunk[64];
        const ssize_t read = ::poll(&ready, 1, 100) > 0 ? ::read(fd, chunk, sizeof chunk) : 0;
        if (read <= 0) continue;
        got.insert(got.end(), chunk, chunk + read);
        if (arrivals != nullptr) arrivals->emplace_back(std::chrono::steady_clock::now() - start, got.size());
    }
    return got;
}

// On a line: each part no sooner than its time after the request, the
// parts apart as they came in the field. A request that comes while an
// answer plays is heard at once, and its answer timed from it.
TEST(TraceReplay, PartsComeAtTheirTimesOnTheLine) {
    const TBytes answer = test::LevelAnswer("0123456", "0000000", "0019");
    TTraceReplay replay = Replay(kHeader + Sent(0, "L01") + Received(50, {answer.begin(), answer.begin() + 10}) +
                                 Received(650, {answer.begin() + 10, answer.end()}) + Sent(2000, "G01") +
                                 Received(2030, {'G'}));
    test::TPtyPair pty(9);
    const int driverEnd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    TSimServer server(replay, pty.Master());
    const auto firstAsked = std::chrono::steady_clock::now();
    ASSERT_EQ(::write(driverEnd, test::Frame("L01").data(), 6), 6);
    std::vector<std::pair<std::chrono::nanoseconds, std::size_t>> arrivals;
    EXPECT_EQ(Collect(driverEnd, 10, &arrivals, firstAsked), TBytes(answer.begin(), answer.begin() + 10));
    ASSERT_FALSE(arrivals.empty());
    EXPECT_GE(arrivals.front().first, 50ms);
    EXPECT_EQ(arrivals.front().second, 10u) << "the head came alone";
    const auto secondAsked = std::chrono::steady_clock::now();
    ASSERT_EQ(::write(driverEnd, test::Frame("G01").data(), 6), 6);
    arrivals.clear();
    TBytes rest = Collect(driverEnd, answer.size() - 9, &arrivals, secondAsked);
    ::close(driverEnd);
    ASSERT_EQ(rest.size(), answer.size() - 9);
    EXPECT_EQ(rest.front(), 'G') << "the mid-answer request's answer came before the first answer's tail";
    EXPECT_GE(arrivals.front().first, 29ms) << "its own time after it";
    EXPECT_EQ(TBytes(rest.begin() + 1, rest.end()), TBytes(answer.begin() + 10, answer.end()));
    EXPECT_GE(std::chrono::steady_clock::now() - firstAsked, 650ms);
}

class SimFiles : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (FDir.Path() / name).string(); }

    // The reader's status and CSV, reading through the simulator started
    // with `simulator`; what the simulator said in `said`.
    std::pair<int, std::string> ReadThrough(std::vector<std::string> simulator, const std::string& tanks,
                                            std::vector<std::string> reader, std::string& said) {
        simulator.insert(simulator.begin(), {"--link", Path("gauge")});
        test::TProgramProcess sim(QMX_SIM_PATH, simulator);
        EXPECT_EQ(sim.FirstLine(20s), Path("gauge")) << sim.Errors();
        reader.insert(reader.begin(), {"--device", Path("gauge"), "--tanks", tanks, "--csv", "--quiet"});
        test::TReaderProcess read(reader);
        const int status = read.Wait(120s);
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(10s), 0);
        said = sim.Errors();
        return {status, read.Output()};
    }

    // The trace's verdict lines, without their time stamps.
    std::vector<std::string> Verdicts(const std::string& trace) const {
        std::vector<std::string> lines;
        std::ifstream in(Path(trace));
        for (std::string line; std::getline(in, line);)
            if (const auto at = line.find(" # "); at != std::string::npos && at >= 23 && at <= 40)
                if (line.compare(at + 3, sizeof kClockSteppedNote - 1, kClockSteppedNote) != 0)  // the machine's, not the line's
                    lines.push_back(line.substr(at + 3));
        return lines;
    }

    test::TWindowsDirectory FDir;  // a fresh directory, removed afterwards
};

// The field's trace as older writers, or other tools, write it (local time
// alone), its stamps moved by `by` from the first bytes received after the
// first `request` on: all (the clock jumped) or, `oneRead`, that read's alone.
std::string OlderTrace(const std::string& text, const std::string& request, std::chrono::minutes by, bool oneRead) {
    static const std::regex steady(R"(^(=== )?(\d{4}-.{18})[+-]\d\d:\d\d \[\d+\.\d{3}(\+\d+\.\d{3})?\])");
    enum { Before, Asked, Moving, Done } state = Before;
    std::string older, movedRead;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line); older += line + "\n") {
        line = std::regex_replace(line, steady, "$1$2");
        if (state == Before && line.find(request) != std::string::npos) state = Asked;
        if (state == Asked && line.compare(23, 3, " < ") == 0) state = Moving, movedRead = line.substr(0, 23);
        if (state == Moving && oneRead && line.compare(0, 23, movedRead) != 0) state = Done;
        if (state != Moving) continue;
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
        std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &sec, &ms);
        using namespace std::chrono;
        const auto at = sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{sec} + milliseconds{ms} + by;
        line = TimeStamp(at, TTimeZone::Utc).substr(0, 23).replace(10, 1, " ") + line.substr(23);  // the reckoning only
    }
    EXPECT_NE(state, Before) << request;
    return older;
}

// How the field was read, and what ran beside the reading and its replay.
struct TFieldReading {
    bool Fast;    // qmx-read --fast, else its default timing
    bool Loaded;  // beside stress-ng --cpu 2 --io 2, which keeps both processors busy
};

std::string ReadingName(const TFieldReading& reading) {
    return std::string(reading.Fast ? "Fast" : "Default") + (reading.Loaded ? "BesideLoad" : "Idle");
}

// The row's name, also where the test is listed: ctest then knows the rows
// beside load by name (tests/beside_load.cmake).
void PrintTo(const TFieldReading& reading, std::ostream* out) { *out << ReadingName(reading); }

// stress-ng for as long as it lives (scripts/setup tests installs it).
class TLoad {
public:
    TLoad() : FProcess("/bin/sh", {"-c", "exec stress-ng --cpu 2 --io 2 --timeout 300s --quiet"}) {}
    ~TLoad() {
        FProcess.Signal(SIGTERM);
        FProcess.Wait(20s);
    }
    TLoad(const TLoad&) = delete;
    TLoad& operator=(const TLoad&) = delete;
    // False, with what it said, when it is not running.
    bool Running(std::string& said) {
        const bool running = FProcess.Wait(1s) == -1;
        said = FProcess.Errors();
        return running;
    }

private:
    test::TProgramProcess FProcess;
};

// A zone whose summer time (UTC+4) ends `in` from now, back to UTC+3, for
// the programs this test starts while it lives.
class TSummerTimeEnding {
public:
    explicit TSummerTimeEnding(std::chrono::seconds in) {
        if (const char* zone = std::getenv("TZ")) FSaved = zone;
        const std::time_t end = std::time(nullptr) + in.count() + 4 * 3600;
        std::tm local{};
        ::gmtime_r(&end, &local);
        char zone[64];
        std::snprintf(zone, sizeof zone, "QST-3QDT,0/0,%d/%02d:%02d:%02d", local.tm_yday, local.tm_hour, local.tm_min,
                      local.tm_sec);
        ::setenv("TZ", zone, 1);
    }
    ~TSummerTimeEnding() { FSaved ? ::setenv("TZ", FSaved->c_str(), 1) : ::unsetenv("TZ"); }
    TSummerTimeEnding(const TSummerTimeEnding&) = delete;
    TSummerTimeEnding& operator=(const TSummerTimeEnding&) = delete;

private:
    std::optional<std::string> FSaved;
};

class FieldReplay : public SimFiles, public ::testing::WithParamInterface<TFieldReading> {};

// A station failing in the ways a field shows: a silence then a slow
// answer, bad check bytes, answers 1.2 s late that meet the next request,
// the next tank's answer. Read through its trace played back, it reads the
// same, attempt by attempt, however the reader timed its requests and
// whatever else keeps the machine busy.
TEST_P(FieldReplay, ReadsAsTheFieldDid) {
    std::optional<TLoad> load;
    if (GetParam().Loaded) {
        std::string said;
        ASSERT_TRUE(load.emplace().Running(said)) << "stress-ng (scripts/setup tests): " << said;
    }
    const auto reading = [](std::vector<std::string> arguments) {
        if (GetParam().Fast) arguments.push_back("--fast");
        return arguments;
    };
    std::ofstream(Path("station.ini")) << "[tank 1]\nlevel = 1234.56\ndrift = 0\n"
                                          "[tank 2]\nlevel = 200\ndrift = 0\nscript = no-answer, slow, none\n"
                                          "[tank 3]\nfault = bad-check\n"
                                          "[tank 4]\nlevel = 400.04\ndrift = 0\nfault = late\n"
                                          "[tank 5]\nfault = wrong-tank\n";
    std::string said;
    const TSummerTimeEnding night(5s);  // while the field is read
    const auto field = ReadThrough({"--config", Path("station.ini")}, "1-5", reading({"--trace", Path("field.log")}), said);
    ASSERT_EQ(field.first, 1) << field.second;
    const auto trace = [&] { std::ifstream in(Path("field.log")); return std::string{std::istreambuf_iterator<char>(in), {}}; }();
    EXPECT_NE(trace.find("+04:00 ["), std::string::npos) << "summer time in the field";
    EXPECT_NE(trace.find("+03:00 ["), std::string::npos) << "its end, during the reading";
    for (const char* row : {"\n1,1234.56,", "\n2,200.00,", ",3,0,,check byte,3\n", "\n4,400.04,",
                            ",answer to another request: L06,3\n"})
        EXPECT_NE(field.second.find(row), std::string::npos) << row << " in\n" << field.second;

    const auto lab = ReadThrough({"--replay", Path("field.log")}, "1-5", reading({"--trace", Path("lab.log")}), said);
    EXPECT_EQ(lab, field) << "the same rows: values, link, valid, reason, attempts";
    EXPECT_EQ(said.find("no request"), std::string::npos) << said;
    // A tank the field did not read: no answer, and the simulator says so.
    const auto unread = ReadThrough({"--replay", Path("field.log")}, "6", reading({}), said);
    EXPECT_EQ(unread.second.substr(unread.second.find('\n')), "\n6,,,,,3,0,,no answer,3\n");
    EXPECT_NE(said.find("qmx-sim: the trace has no request L06: not answered\n"), std::string::npos) << said;
    EXPECT_GE(Verdicts("field.log").size(), 15u) << "each attempt's";
    EXPECT_EQ(Verdicts("lab.log"), Verdicts("field.log"));

    // The field's trace as an older one, its stamps jumping an hour inside
    // L02's exchange (summer time's end, unnoted) or L01's answer 3 h late.
    const std::string& fieldTrace = trace;
    const struct {
        const char* Request;
        std::chrono::minutes By;
        bool OneRead;
        const char* Said;
    } edits[] = {
        {"> 02 4C 30 32 03 ", -60min, false, "jump by -1 h at line "},
        {"> 02 4C 30 32 03 ", 60min, false, "jump by +1 h at line "},
        {"> 02 4C 30 31 03 ", 187min, true, "1 part(s) recorded over 3210 ms after their request"},
    };
    for (const auto& edit : edits) {
        std::remove(Path("older-lab.log").c_str());
        std::ofstream(Path("older.log")) << OlderTrace(fieldTrace, edit.Request, edit.By, edit.OneRead);
        const auto older = ReadThrough({"--replay", Path("older.log")}, "1-5", reading({"--trace", Path("older-lab.log")}), said);
        EXPECT_NE(said.find(edit.Said), std::string::npos) << said;
        // A late part leaves its own tank's row, not the tanks' after it.
        const auto from = [&](const std::string& rows) { return rows.substr(edit.OneRead ? rows.find("\n2,") : 0); };
        EXPECT_EQ(from(older.second), from(field.second)) << edit.By.count() << " min";
        if (!edit.OneRead) {
            EXPECT_EQ(Verdicts("older-lab.log"), Verdicts("field.log")) << edit.By.count() << " min";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Readings, FieldReplay,
                         ::testing::Values(TFieldReading{true, false}, TFieldReading{false, false},
                                           TFieldReading{true, true}, TFieldReading{false, true}),
                         [](const auto& row) { return ReadingName(row.param); });

TEST_F(SimFiles, WhatCannotBeServedEndsItWithStatusTwoBeforeThePath) {
    std::ofstream(Path("sim.log")) << Sent(0, "L01");  // a simulator's own trace: no header
    std::ofstream(Path("station.ini")) << "[tank 1]\nlevel = 1200\n\n[tank 3x]\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--replay", Path("sim.log")}, Path("sim.log") + ":1: bytes before any === header, which says which way they went"},
        {{"--config", Path("station.ini")}, Path("station.ini") + ":4: tank number '3x' is not a number"},
        {{"--device", "/dev/null"}, "cannot open /dev/null: not a serial line"},
        {{"--replay", "/dev/zero"}, "/dev/zero is larger than 64 MB, the most taken"},
        {{"--config", Path("absent.ini")}, "cannot read " + Path("absent.ini") + ": No such file or directory"},
        {{"--trace", "/dev/stdout"}, "will not trace to /dev/stdout: it is the standard output, which says the device "
                                     "(give - for standard error)"},
    };
    for (const auto& [arguments, problem] : cases) {
        test::TProgramProcess sim(QMX_SIM_PATH, arguments);
        EXPECT_EQ(sim.Wait(10s), 2) << problem;
        EXPECT_EQ(sim.Errors() + sim.Output(), "qmx-sim: " + problem + "\n");
    }
}

}  // namespace
}  // namespace qmx::sim
