#pragma once

// A burst: bytes one way on the line with no pause between two reads (or
// writes) longer than kBurstGap. The wire trace (serial/wire_trace.h) writes
// each burst as one line, so that an answer a gauge paces out a byte at a
// time reads as the one answer it is, not as forty one-byte lines.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qmx {

enum class TTraceDirection { Sent, Received };

// The longest pause inside one burst. At 9600 baud 7E1 a character takes
// 1.04 ms, but bytes seldom come that evenly: a USB adapter hands them over
// every 16 ms (an FTDI's latency timer), a Windows thread that looks at a
// line each millisecond sleeps to the 15.6 ms timer tick, and a gauge that
// paces its answer leaves 15 ms between bytes (the simulator's `slow`).
// 30 ms lets all of those through as one line and stays well below the
// 47 ms a whole answer takes on the line, the quiet after which the reader
// takes the line for carrying no answer: a pause that long is the gauge's,
// and starts a line of its own.
inline constexpr std::chrono::milliseconds kBurstGap{30};
// A line that never falls quiet (a babbling device under a monitor) is
// still written as it goes, in lines of this many bytes: more than the
// longest frame, so that an over-long answer shows on one line.
inline constexpr std::size_t kBurstLineBytes = 256;

// A stamp's two parts: the local wall-clock time with its offset from UTC,
// and the steady clock's milliseconds since the section began.
struct TTraceStamp {
    std::string Wall;
    long long SectionMs = 0;
};

// " [12.345]"; for a burst that took time, its span too: " [12.345+0.041]".
std::string SectionSeconds(long long sectionMs, long long spanMs = 0);

// "> 02 4C 30 31 03 4C ... .L01.L": the hex of a short burst padded to 16
// bytes' width, so that the ASCII columns of short lines align.
std::string FormatTraceBytes(TTraceDirection direction, const std::uint8_t* data, std::size_t count);

class TTraceBurst {
public:
    using TSteady = std::chrono::steady_clock::time_point;
    using TWrite = std::function<void(const std::string& line)>;
    using TStamper = std::function<TTraceStamp()>;

    // Takes bytes logged at `at`, as the read or write that moved them
    // returned. The burst they do not continue (it went the other way, or
    // the line was quiet longer than kBurstGap since its last bytes) is
    // written first; `stamp` then stamps the burst they begin.
    void Take(TTraceDirection direction, const std::uint8_t* data, std::size_t count, TSteady at, const TStamper& stamp,
              const TWrite& write);
    // Writes the burst gathered so far, if there is one.
    void Flush(const TWrite& write);
    // The same, only once the line has been quiet longer than kBurstGap
    // at `now`: a burst that has ended, for a caller that would otherwise
    // hold it until the next bytes come.
    void FlushEnded(TSteady now, const TWrite& write);

private:
    bool Continues(TTraceDirection direction, TSteady at) const;

    TTraceDirection FDirection = TTraceDirection::Sent;
    TTraceStamp FStamp;
    TSteady FFirst, FLast;  // when its first and last bytes were logged
    std::vector<std::uint8_t> FBytes;
};

}  // namespace qmx
