// Exchanges told from the bytes a listener overhears on the gauge's line.

#include <gtest/gtest.h>

#include "monitor_rows.h"
#include "protocol/overheard_exchanges.h"
#include "support/frames.h"

namespace qmx {
namespace {

using test::DensityAnswer;
using test::Frame;
using test::LevelAnswer;
using TBytes = std::vector<std::uint8_t>;

struct TChunk {
    TLineSide Side;
    TBytes Bytes;
    double At;
};

struct TExpected {
    std::string Request;  // "L01"
    TAttemptVerdict Verdict;
    int Attempts;
    bool InTime;
    double Delay = -1;  // seconds, when checked
};

TBytes Part(const TBytes& bytes, std::size_t from, std::size_t to) { return {bytes.begin() + from, bytes.begin() + to}; }

TEST(OverheardExchanges, StreamsGiveTheDriversVerdicts) {
    constexpr auto kBoth = TLineSide::Both;
    const TBytes l01 = Frame("L01"), l02 = Frame("L02"), g01 = Frame("G01");
    const TBytes level = LevelAnswer("0012345", "0000350", "0155");
    const TBytes level2 = LevelAnswer("0012345", "0000350", "0155", "L02");
    const TBytes g02 = Frame("G02"), density2 = DensityAnswer("00835000", "G02");
    TBytes badCheck = level;
    badCheck.back() ^= 1;
    struct TCase {
        const char* Name;
        std::vector<TChunk> Chunks;
        std::vector<TExpected> Exchanges;
    };
    const TCase cases[] = {
        {"half an answer at start-up is skipped",
         {{kBoth, Part(level, 10, 43), 0.0}, {kBoth, l01, 0.1}, {kBoth, level, 0.15}},
         {{"L01", TAttemptVerdict::Valid, 1, true}}},
        {"half a request at start-up is skipped",
         {{kBoth, Part(l01, 2, 6), 0.0}, {kBoth, level, 0.02}, {kBoth, l02, 0.1}, {kBoth, level2, 0.15}},
         {{"L02", TAttemptVerdict::Valid, 1, true}}},
        {"a request and its answer in one read",
         {{kBoth, [&] { TBytes b = l01; b.insert(b.end(), level.begin(), level.end()); return b; }(), 0.2}},
         {{"L01", TAttemptVerdict::Valid, 1, true}}},
        {"three bad answers are one exchange",
         {{kBoth, l01, 0}, {kBoth, badCheck, 0.1}, {kBoth, l01, 1.1}, {kBoth, badCheck, 1.2}, {kBoth, l01, 2.2},
          {kBoth, badCheck, 2.3}},
         {{"L01", TAttemptVerdict::CheckByte, 3, true}}},
        {"silence, then an answer to the second request",
         {{kBoth, l01, 0}, {kBoth, l01, 1.07}, {kBoth, level, 1.2}},
         {{"L01", TAttemptVerdict::Valid, 2, true}}},
        {"a fourth request opens another exchange",
         {{kBoth, l01, 0}, {kBoth, l01, 1.07}, {kBoth, l01, 2.14}, {kBoth, l01, 3.21}},
         {{"L01", TAttemptVerdict::NoAnswer, 3, false}, {"L01", TAttemptVerdict::NoAnswer, 1, false}}},
        {"a late answer to the tank before",
         {{kBoth, l01, 0}, {kBoth, level, 0.1}, {kBoth, l02, 0.2}, {kBoth, level, 0.3}},
         {{"L01", TAttemptVerdict::Valid, 1, true}, {"L02", TAttemptVerdict::OtherRequest, 1, false}}},
        {"an answer after the second",
         {{kBoth, l01, 0}, {kBoth, level, 1.2}},
         {{"L01", TAttemptVerdict::NoAnswer, 1, false}}},
        {"an answer that runs past the second is cut there",
         {{kBoth, l01, 0}, {kBoth, Part(level, 0, 20), 0.98}, {kBoth, Part(level, 20, 43), 1.01}},
         {{"L01", TAttemptVerdict::WrongLength, 1, true}}},
        {"noise without an STX", {{kBoth, l01, 0}, {kBoth, TBytes{'x', 'y'}, 0.1}}, {{"L01", TAttemptVerdict::NoStx, 1, false}}},
        {"bytes after the answer",
         {{kBoth, l01, 0}, {kBoth, level, 0.1}, {kBoth, TBytes{'x'}, 0.12}},
         {{"L01", TAttemptVerdict::WrongLength, 1, true}}},
        {"a host that asks on at once took the answer when whole",
         {{kBoth, l01, 0}, {kBoth, level, 0.1}, {kBoth, Part(level, 0, 9), 0.11}, {kBoth, g01, 0.2}},
         {{"L01", TAttemptVerdict::Valid, 1, true}, {"G01", TAttemptVerdict::NoAnswer, 1, false}}},
        {"L and G of a tank, the second answer cut short",
         {{kBoth, l01, 0}, {kBoth, level, 0.1}, {kBoth, g01, 0.2}, {kBoth, Part(DensityAnswer("00835000"), 0, 30), 0.3}},
         {{"L01", TAttemptVerdict::Valid, 1, true}, {"G01", TAttemptVerdict::WrongLength, 1, true}}},
        {"a valid answer asked again is a new exchange",
         {{kBoth, l01, 0}, {kBoth, level, 0.1}, {kBoth, l01, 0.2}, {kBoth, level, 0.3}},
         {{"L01", TAttemptVerdict::Valid, 1, true}, {"L01", TAttemptVerdict::Valid, 1, true}}},
        {"two lines, one for each side",
         {{TLineSide::Host, Part(l01, 0, 3), 0}, {TLineSide::Host, Part(l01, 3, 6), 0.01},
          {TLineSide::Gauge, level, 0.1}, {TLineSide::Host, g01, 0.2}, {TLineSide::Gauge, DensityAnswer("00835000"), 0.3}},
         {{"L01", TAttemptVerdict::Valid, 1, true}, {"G01", TAttemptVerdict::Valid, 1, true}}},
        {"the gauge's line alone pairs nothing", {{TLineSide::Gauge, level, 0.1}}, {}},
        {"1.2 s late to each request: the answer taken after asking again was the first one's",
         {{kBoth, l02, 0}, {kBoth, l02, 1.07}, {kBoth, level2, 1.2}, {kBoth, g02, 1.25}, {kBoth, level2, 2.27}},
         {{"L02", TAttemptVerdict::Valid, 2, false, 1.2}, {"G02", TAttemptVerdict::NoAnswer, 1, false}}},
        {"1.2 s late to each request, the line quiet after",
         {{kBoth, l02, 0}, {kBoth, l02, 1.07}, {kBoth, level2, 1.2}, {kBoth, level2, 2.27}},
         {{"L02", TAttemptVerdict::Valid, 2, false, 1.2}}},
        {"the first request ignored, the one asked again answered at once",
         {{kBoth, l02, 0}, {kBoth, l02, 1.07}, {kBoth, level2, 1.2}, {kBoth, g02, 1.25}, {kBoth, density2, 1.3}},
         {{"L02", TAttemptVerdict::Valid, 2, true, 0.13}, {"G02", TAttemptVerdict::Valid, 1, true, 0.05}}},
    };
    for (const auto& c : cases) {
        std::size_t fed = 0, seen = 0, seenFromHost = 0;
        TExchangeSplitter splitter([&](bool fromHost, const std::uint8_t*, std::size_t count) {
            seen += count;
            seenFromHost += fromHost ? count : 0;
        });
        std::vector<TOverheardExchange> exchanges;
        for (const auto& chunk : c.Chunks) {
            for (auto& x : splitter.Feed(chunk.Side, chunk.Bytes.data(), chunk.Bytes.size(), chunk.At))
                exchanges.push_back(x);
            fed += chunk.Bytes.size();
        }
        // The exchange held back comes at a stop, the one open once the line is quiet.
        for (auto& x : splitter.Finish()) exchanges.push_back(x);
        for (auto& x : splitter.Tick(c.Chunks.back().At + kExchangeQuietSeconds + 0.01)) exchanges.push_back(x);
        ASSERT_EQ(exchanges.size(), c.Exchanges.size()) << c.Name;
        for (std::size_t i = 0; i < exchanges.size(); ++i) {
            const auto& x = exchanges[i];
            const auto& want = c.Exchanges[i];
            EXPECT_EQ(x.Record.Request.Text(), want.Request) << c.Name;
            EXPECT_EQ(x.Record.Verdict(), want.Verdict) << c.Name << ": " << VerdictText(x.Record.Verdict());
            EXPECT_EQ(static_cast<int>(x.Record.Attempts.size()), want.Attempts) << c.Name;
            EXPECT_EQ(x.Record.FailedAttempts(), want.Attempts - (want.Verdict == TAttemptVerdict::Valid ? 1 : 0))
                << c.Name;
            EXPECT_EQ(x.InTime, want.InTime) << c.Name;
            if (want.Delay < 0) continue;
            EXPECT_NEAR(x.DelaySeconds.value_or(-1), want.Delay, 1e-6) << c.Name;
            EXPECT_EQ(x.Late, !want.InTime) << c.Name;
        }
        // What a trace shows: every byte once, the requests as the host's.
        EXPECT_EQ(seen, fed) << c.Name;
        EXPECT_EQ(seenFromHost, 6 * static_cast<std::size_t>(splitter.Requests())) << c.Name;
    }
}

}  // namespace
}  // namespace qmx

namespace qmx::tools {
namespace {

// The reader's rows from overheard exchanges: L and G of a tank make one.
TEST(MonitorRows, ATanksExchangesMakeOneRowAsThePollerGivesIt) {
    const TBytes level = LevelAnswer("0012345", "0000350", "0155"), density = DensityAnswer("00835000");
    const TBytes level2 = LevelAnswer("0012345", "0000350", "0155", "L02"), density2 = DensityAnswer("00835000", "G02");
    TBytes badCheck = level;
    badCheck.back() ^= 1;
    struct TCase {
        const char* Name;
        std::vector<TChunk> Chunks;
        std::vector<std::string> Rows;  // the CSV row after its time
    };
    const auto both = TLineSide::Both;
    const TCase cases[] = {
        {"L and G",
         {{both, Frame("L01"), 0}, {both, level, 0.05}, {both, Frame("G01"), 0.1}, {both, density, 0.15}},
         {"1,123.45,15.5,4,0.00835000,1,1,,,,50,1,2"}},
        {"a failed L is not asked G",
         {{both, Frame("L01"), 0}, {both, badCheck, 0.05}, {both, Frame("L01"), 1.1}, {both, badCheck, 1.15},
          {both, Frame("L01"), 2.2}, {both, badCheck, 2.25}},
         {"1,,,,,3,0,,check byte,3,50,1,3"}},
        {"an L the host asks no G after",
         {{both, Frame("L01"), 0}, {both, level, 0.05}, {both, Frame("L02"), 0.1}},
         {"1,123.45,15.5,4,,3,0,,,,50,1,1", "2,,,,,3,0,,no answer,1,,,1"}},
        {"a G that failed after a valid L",
         {{both, Frame("L01"), 0}, {both, level, 0.05}, {both, Frame("G01"), 0.1}, {both, Part(density, 0, 9), 1.5}},
         {"1,123.45,15.5,4,,3,0,,no answer,1,50,0,2"}},
        {"an answer after the second, then one in time to the request after",
         {{both, Frame("L01"), 0}, {both, level, 1.035}, {both, Frame("L01"), 1.07}, {both, level, 1.09},
          {both, Frame("G01"), 1.2}, {both, density, 1.25}},
         {"1,123.45,15.5,4,0.00835000,1,1,,,,1035,0,3"}},
        {"the tank before's answer after the second",
         {{both, Frame("L02"), 0}, {both, level, 1.03}},
         {"2,,,,,3,0,,no answer,1,,,1"}},
        {"an answer taken after asking again, shown late by the next answer to the same request",
         {{both, Frame("L02"), 0}, {both, Frame("L02"), 1.07}, {both, level2, 1.2}, {both, Frame("G02"), 1.25},
          {both, level2, 2.27}, {both, Frame("G02"), 2.32}, {both, density2, 2.45}},
         {"2,123.45,15.5,4,0.00835000,1,1,,,,1200,0,4"}},
    };
    for (const auto& c : cases) {
        TExchangeSplitter splitter;
        TMonitorRows rows;
        std::vector<std::string> csv;
        const auto take = [&](const std::vector<TOverheardExchange>& exchanges) {
            for (const auto& exchange : exchanges)
                for (const auto& row : rows.Take(exchange)) csv.push_back(MonitorCsvRow(row));
        };
        for (const auto& chunk : c.Chunks) take(splitter.Feed(chunk.Side, chunk.Bytes.data(), chunk.Bytes.size(), chunk.At));
        take(splitter.Tick(c.Chunks.back().At + kExchangeQuietSeconds + 0.01));
        for (const auto& row : rows.Flush()) csv.push_back(MonitorCsvRow(row));
        ASSERT_EQ(csv.size(), c.Rows.size()) << c.Name;
        for (std::size_t i = 0; i < csv.size(); ++i) EXPECT_EQ(csv[i], c.Rows[i] + "\n") << c.Name;
    }
}

}  // namespace
}  // namespace qmx::tools
