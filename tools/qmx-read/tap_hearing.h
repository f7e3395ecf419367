#pragma once

// What a monitor has heard from each side of a line, and what a side's
// silence usually means: a tap on the wrong wire or reversed looks, from
// the rows alone, like a host that is not polling. Times are seconds on
// one steady clock, passed in, so that a silence is judged without
// waiting for it.

#include <optional>
#include <string>

namespace qmx::tools {

// A side says nothing this long before its silence is noted.
constexpr double kTapSilenceSeconds = 10.0;

struct THeardSide {
    long long Bytes = 0;
    long long Frames = 0;  // whole frames among the bytes
    std::optional<double> FirstByteAt;
    std::optional<double> LastByteAt;
    std::optional<double> LastFrameAt;
};

struct TTapHearing {
    // With one device carrying both ways: the requests, and the rest.
    THeardSide Host;
    THeardSide Gauge;
    double Since = 0;  // when the monitor began to listen
    bool Merged = false;
};

enum class TTapSilence {
    Nothing,     // neither side
    NoAnswers,   // the host asks, the gauge side says nothing
    NoRequests,  // the gauge side speaks, the host side says nothing
    NoFrames,    // bytes come, but none make a frame
};

// The silence heard by `now`, if any. A side is silent when it has said
// nothing for kTapSilenceSeconds while the other side spoke (or since the
// start): so a host that begins to poll gives its gauge that long.
std::optional<TTapSilence> SilenceOf(const TTapHearing& hearing, double now);

// "qmx-read: ... for 10 s: what it usually means", a line of its own.
std::string SilenceNote(TTapSilence silence);

// "heard: host 1,234 bytes (0.4 s ago), gauge 5,678 bytes (0.9 s ago)";
// on one device the requests and the answers.
std::string HearingLine(const TTapHearing& hearing, double now);

}  // namespace qmx::tools
