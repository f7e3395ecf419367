#include "tap_watch.h"

#include <string>

namespace qmx::tools {
namespace {

// The status line changes at most this often.
constexpr double kRedrawSeconds = 0.25;

}  // namespace

TTapWatch::TTapWatch(double startedAt, bool merged, bool statusLine) : FStatusLine(statusLine) {
    FHearing.Since = startedAt;
    FHearing.Merged = merged;
}

void TTapWatch::Heard(bool fromHost, const std::uint8_t* data, std::size_t count, double at) {
    THeardSide& side = fromHost ? FHearing.Host : FHearing.Gauge;
    if (count == 0) return;
    side.Bytes += static_cast<long long>(count);
    if (!side.FirstByteAt) side.FirstByteAt = at;
    side.LastByteAt = at;
    if (const std::size_t frames = (fromHost ? FHostFrames : FGaugeFrames).Feed(data, count)) {
        side.Frames += static_cast<long long>(frames);
        side.LastFrameAt = at;
    }
}

void TTapWatch::Tick(double now) {
    const auto silence = SilenceOf(FHearing, now);
    if (!silence) FNoted.reset();
    else if (silence != FNoted) {
        Clear();
        std::fprintf(stderr, "%s\n", SilenceNote(*silence).c_str());
        std::fflush(stderr);
        FNoted = silence;
    }
    if (!FStatusLine || (FDrawnAt && now - *FDrawnAt < kRedrawSeconds && FStatusWidth != 0)) return;
    const std::string line = HearingLine(FHearing, now);
    const int width = static_cast<int>(line.size());
    // Padded over a longer line it replaces, which would show its tail.
    std::fprintf(stderr, "\r%s%*s", line.c_str(), FStatusWidth > width ? FStatusWidth - width : 0, "");
    if (FStatusWidth > width) std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    FStatusWidth = width;
    FDrawnAt = now;
}

void TTapWatch::Clear() {
    if (FStatusWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", FStatusWidth, "");
    std::fflush(stderr);
    FStatusWidth = 0;
}

}  // namespace qmx::tools
