// What a monitor makes of each side's bytes and silences, with the times
// passed in rather than waited for.

#include <gtest/gtest.h>

#include <optional>

#include "tap_hearing.h"

namespace qmx::tools {
namespace {

// Bytes from `first` to `last`, frames among them until `lastFrame`.
THeardSide Side(std::optional<double> first, std::optional<double> last, std::optional<double> lastFrame) {
    THeardSide side;
    side.Bytes = first ? 100 : 0;
    side.Frames = lastFrame ? 10 : 0;
    side.FirstByteAt = first;
    side.LastByteAt = last;
    side.LastFrameAt = lastFrame;
    return side;
}

TEST(TapHearing, TellsTheSilenceFromTheCountersAndTimes) {
    const THeardSide none;
    struct TRow {
        const char* Case;
        THeardSide Host, Gauge;
        double Now;
        std::optional<TTapSilence> Want;
        const char* Says;
    } rows[] = {
        {"nothing yet", none, none, 9.9, std::nullopt, ""},
        {"nothing for 10 s", none, none, 10, TTapSilence::Nothing, "nothing heard from either side"},
        {"both went quiet", Side(1, 2, 2), Side(1, 2, 2), 12, TTapSilence::Nothing, "host is not polling"},
        {"requests, no answers", Side(1, 12, 12), none, 12, TTapSilence::NoAnswers, "nothing from the gauge side"},
        {"the gauge's time counts from the first request", Side(5, 12, 12), none, 12, std::nullopt, ""},
        {"answers, no requests", none, Side(1, 12, 12), 12, TTapSilence::NoRequests, "does not speak unasked"},
        {"both speak", Side(1, 12, 12), Side(1, 11.5, 11.5), 12, std::nullopt, ""},
        {"bytes but never a frame", none, Side(1, 12, std::nullopt), 12, TTapSilence::NoFrames, "9600 7E1"},
        {"answers stopped making frames", Side(1, 13, 13), Side(1, 12, 3), 13.5, TTapSilence::NoFrames, "parity"},
        {"unframed bytes not yet long", Side(1, 13, 13), Side(5, 12, std::nullopt), 13, std::nullopt, ""},
    };
    for (const auto& row : rows) {
        const TTapHearing hearing{row.Host, row.Gauge, 0, false};
        const auto silence = SilenceOf(hearing, row.Now);
        EXPECT_EQ(silence, row.Want) << row.Case;
        if (silence) {
            EXPECT_NE(SilenceNote(*silence).find(row.Says), std::string::npos) << row.Case;
        }
    }
}

TEST(TapHearing, StatusLineCountsEachSide) {
    TTapHearing hearing{Side(1, 9.6, 9.6), THeardSide{}, 0, false};
    hearing.Host.Bytes = 1234567;
    EXPECT_EQ(HearingLine(hearing, 10), "heard: host 1,234,567 bytes (0.4 s ago), gauge 0 bytes (none yet)");
    hearing.Merged = true;
    EXPECT_EQ(HearingLine(hearing, 10), "heard: requests 1,234,567 bytes (0.4 s ago), answers 0 bytes (none yet)");
}

}  // namespace
}  // namespace qmx::tools
