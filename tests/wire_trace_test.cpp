// The wire trace a technician sends from a station: a section per run,
// opened by a header that says what the marks mean, every byte both ways,
// and a verdict line for each attempt.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "driver/connection.h"
#include "driver/silo.h"
#include "gauge.h"
#include "platform/time_stamp.h"
#include "serial/trace_burst.h"
#include "sim_server.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace qmx {
namespace {

constexpr int kPort = 9;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

class TTraceSwitch {
public:
    explicit TTraceSwitch(const std::string& path) { ::setenv("QMX_TRACE", path.c_str(), 1); }
    ~TTraceSwitch() { ::unsetenv("QMX_TRACE"); }
};

TEST(WireTrace, ASectionPerRunWithItsHeaderBytesAndAVerdictPerAttempt) {
    test::TWindowsDirectory dir;
    const std::string path = (dir.Path() / "wire.log").string();
    TTraceSwitch trace(path);
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    gauge.SetFault(2, sim::TFault::BadCheck);
    gauge.SetFault(3, sim::TFault::NoAnswer);
    gauge.SetFault(4, sim::TFault::NoEtx);
    sim::TSimServer server(gauge, pty.Master());
    for (int run = 0; run < 2; ++run) {
        TSilo silo(ConnectionTypeFor(kPort, 0), nullptr);
        silo.GetLevel(0);
        if (run == 0) {
            silo.GetLevel(1);
            silo.GetLevel(2);
            silo.GetLevel(3);
        }
    }
    std::ifstream in(path);
    std::stringstream read;
    read << in.rdbuf();
    const std::string text = read.str();
    EXPECT_EQ(Count(text, "\n=== "), 2u) << text;
    EXPECT_EQ(Count(text, " COM9, 9600 baud 7E1, RTS low; > sent by this program, < received by it\n"), 2u) << text;
    EXPECT_EQ(Count(text, "# attempt 1 of 3 (L01): 43 bytes from the STX, accepted\n"), 2u) << text;
    // The reason as the rows name it, the check bytes as hex dumps show them.
    EXPECT_EQ(Count(text, "(L02): 43 bytes from the STX, rejected: check byte (expected "), 3u) << text;
    EXPECT_EQ(Count(text, "(L04): 43 bytes from the STX, rejected: no ETX\n"), 3u) << text;
    EXPECT_EQ(Count(text, "# attempt 3 of 3 (L03): no answer\n"), 1u) << text;
    // The request for tank 1 as it went out, and the start of its answer.
    EXPECT_EQ(Count(text, " > 02 4C 30 31 03 4C "), 2u) << text;
    EXPECT_GE(Count(text, " < 02 "), 2u) << text;
    // The answer's line comes before its verdict, not once the next bytes
    // come (on a pty, an answer at once may be logged before its request).
    const std::regex answerThenVerdict(
        R"(\] < [^\n]* 03 [0-9A-F]{2} [^\n]*\n([^\n]*\] > [^\n]*\n)?[^\n]*\] # attempt 1 of 3 \(L01\): 43 bytes)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), answerThenVerdict), std::sregex_iterator()), 2)
        << text;
}

// Bytes as the port's workers log them, `AtMs` after the section began
// (Flush: a FlushEnded then), and the lines they make.
TEST(WireTrace, ABurstOneWayIsOneLineWithItsSpan) {
    using D = TTraceDirection;
    struct TChunk {
        int AtMs;
        D Direction;
        std::string Bytes;
        bool Flush = false;
    };
    std::vector<TChunk> paced;  // an answer a byte at a time, 15 ms apart
    for (const char byte : std::string("\x02L05123\x03")) paced.push_back({80 + 15 * static_cast<int>(paced.size()), D::Received, {byte}});
    const std::string many(300, 'A');
    const auto hexOfA = [](int count) {
        std::string hex;
        for (int i = 0; i < count; ++i) hex += "41 ";
        return hex;
    };
    const struct {
        const char* Name;
        std::vector<TChunk> Chunks;
        std::vector<std::string> Lines;
    } cases[] = {
        {"paced", paced, {"W [0.080+0.105] < 02 4C 30 35 31 32 33 03                          .L05123."}},
        {"one read", {{20, D::Sent, "\x02L05\x03H"}}, {"W [0.020] > 02 4C 30 35 03 48                                .L05.H"}},
        {"the gap exactly", {{80, D::Received, "AB"}, {110, D::Received, "C"}},
         {"W [0.080+0.030] < 41 42 43                                         ABC"}},
        {"a longer pause", {{80, D::Received, "AB"}, {111, D::Received, "C"}},
         {"W [0.080] < 41 42                                            AB", "W [0.111] < 43                                               C"}},
        {"the other way", {{20, D::Sent, "A"}, {21, D::Received, "B"}},
         {"W [0.020] > 41                                               A", "W [0.021] < 42                                               B"}},
        {"ended, when asked",
         {{80, D::Received, "A"}, {100, D::Received, "", true}, {105, D::Received, "B"}, {136, D::Received, "", true},
          {140, D::Received, "C"}},
         {"W [0.080+0.025] < 41 42                                            AB", "W [0.140] < 43                                               C"}},
        {"past a line's bytes", {{0, D::Received, many}},
         {"W [0.000] < " + hexOfA(256) + " " + many.substr(0, 256), "W [0.000] < " + hexOfA(44) + " " + many.substr(0, 44)}},
    };
    for (const auto& c : cases) {
        TTraceBurst burst;
        std::vector<std::string> lines;
        const auto write = [&](const std::string& line) { lines.push_back(line.substr(0, line.size() - 1)); };
        const auto section = std::chrono::steady_clock::time_point{};
        for (const auto& chunk : c.Chunks) {
            const auto at = section + std::chrono::milliseconds(chunk.AtMs);
            if (chunk.Flush) burst.FlushEnded(at, write);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.Bytes.data());
            burst.Take(chunk.Direction, bytes, chunk.Bytes.size(), at, [&] { return TTraceStamp{"W", chunk.AtMs}; }, write);
        }
        burst.Flush(write);
        EXPECT_EQ(lines, c.Lines) << c.Name;
    }
    // A trace that goes writes the burst it still held.
    test::TWindowsDirectory dir;
    const std::string path = (dir.Path() / "wire.log").string();
    {
        TWireTrace trace;
        ASSERT_TRUE(trace.Open(path));
        trace.Log(TWireTrace::TDirection::Sent, "\x02L05\x03H", 6);
    }
    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("] > 02 4C 30 35 03 48 "), std::string::npos) << text;
}

// The trace's stamps and the readers' rows' come from one reckoning: UTC
// across a month's end, a leap day and past 2038, to the millisecond.
TEST(WireTrace, StampsToTheMillisecond) {
    using namespace std::chrono;
    const struct {
        sys_days Day;
        milliseconds Time;
        const char* Utc;
        const char* Helsinki;  // the trace's stamp there: the hour after summer time's end twice, told apart
    } cases[] = {
        {sys_days{1970y / 1 / 1}, 0ms, "1970-01-01T00:00:00.000Z", "1970-01-01 02:00:00.000+02:00"},
        {sys_days{2024y / 2 / 29}, 23h + 59min + 59s + 999ms, "2024-02-29T23:59:59.999Z", "2024-03-01 01:59:59.999+02:00"},
        {sys_days{2026y / 12 / 8}, 9h + 14min + 3s + 120ms, "2026-12-08T09:14:03.120Z", "2026-12-08 11:14:03.120+02:00"},
        {sys_days{2026y / 10 / 25}, 30min, "2026-10-25T00:30:00.000Z", "2026-10-25 03:30:00.000+03:00"},
        {sys_days{2026y / 10 / 25}, 90min, "2026-10-25T01:30:00.000Z", "2026-10-25 03:30:00.000+02:00"},
        {sys_days{2040y / 3 / 1}, 1ms, "2040-03-01T00:00:00.001Z", "2040-03-01 02:00:00.001+02:00"},
    };
    const char* zone = std::getenv("TZ");
    const std::string saved = zone != nullptr ? zone : "";
    ::setenv("TZ", "EET-2EEST,M3.5.0/3,M10.5.0/4", 1);
    ::tzset();
    for (const auto& c : cases) {
        EXPECT_EQ(TimeStamp(c.Day + c.Time, TTimeZone::LocalWithOffset), c.Helsinki);
        EXPECT_EQ(TimeStamp(c.Day + c.Time, TTimeZone::Utc), c.Utc);
        const std::string local = TimeStamp(c.Day + c.Time, TTimeZone::Local);
        EXPECT_EQ(local.size(), 23u) << local;
        EXPECT_EQ(local.substr(19), std::string(c.Utc).substr(19, 4)) << "the same milliseconds: " << local;
    }
    zone != nullptr ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

// A trace FIFO that stops taking the trace, or whose reader goes: the
// trace stops, and what writes it is never held up for long.
TEST(WireTrace, AFifoThatStopsTakingItEndsTheTraceNotTheWriter) {
    const auto previous = ::signal(SIGPIPE, SIG_IGN);  // as the tools have it
    struct TCase {
        const char* Name;
        bool ReaderLeaves;
    };
    for (const TCase c : {TCase{"reader gone", true}, TCase{"reader stopped", false}}) {
        test::TWindowsDirectory dir;
        const std::string fifo = (dir.Path() / "trace").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        TWireTrace refused;
        std::string problem;
        EXPECT_FALSE(refused.Open(fifo, &problem)) << c.Name;
        EXPECT_EQ(problem, "a FIFO with no reader");
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        TWireTrace trace;
        ASSERT_TRUE(trace.Open(fifo, &problem)) << problem;
        if (c.ReaderLeaves) ::close(reader);
        const std::vector<std::uint8_t> bytes(4096, 0x02);
        const auto start = std::chrono::steady_clock::now();
        // Far more than a pipe holds, when nobody reads.
        for (int i = 0; i < 64 && trace.IsOpen(); ++i) trace.Log(TWireTrace::TDirection::Received, bytes.data(), bytes.size());
        EXPECT_FALSE(trace.IsOpen()) << c.Name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.Name;
        trace.Note("after the end");  // nothing, and no harm
        if (!c.ReaderLeaves) ::close(reader);
    }
    ::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace qmx
