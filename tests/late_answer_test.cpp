// Answers that miss their wait: the answer check cannot tell one tank's
// frame from another's, so after a transaction without a valid answer the
// framed port lets the line fall quiet before the next request, and drops
// an answer that names another tank. A gauge
// that is a little slow gives failed readings, never another tank's.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>

#include "driver/connection.h"
#include "driver/silo.h"
#include "gauge.h"
#include "protocol/frame.h"
#include "serial/kalvor_port.h"
#include "sim_server.h"
#include "support/far_end.h"
#include "support/frames.h"
#include "support/protocol_check.h"
#include "support/pty_pair.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using sim::TFault;

constexpr int kPort = 9;

// Tanks 4 and 5 (indices 3 and 4), each with a level of its own.
constexpr std::uint8_t kEarlier = 3;
constexpr std::uint8_t kLater = 4;
constexpr double kEarlierLevel = 444.44;
constexpr double kLaterLevel = 555.55;

struct TLateCase {
    const char* Name;
    std::vector<TFault> EarlierScript;  // faults of the earlier tank's requests, in turn
    std::vector<TFault> LaterScript;
    bool EarlierValid;
    bool LaterValid;
};

void PrintTo(const TLateCase& c, std::ostream* out) { *out << c.Name; }

class LateAnswer : public ::testing::TestWithParam<TLateCase> {};

// One reading of each tank from a fresh silo.
struct TLateTry {
    bool EarlierValid = false;
    bool LaterValid = false;
    double Earlier = 0;
    double Later = 0;
};

TLateTry ReadBothTanks(const TLateCase& c) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    for (auto [tank, level] : {std::pair{kEarlier, kEarlierLevel}, std::pair{kLater, kLaterLevel}}) {
        gauge.Tank(tank + 1).Level = level;
        gauge.Tank(tank + 1).LevelDrift = 0;
    }
    gauge.SetScript(kEarlier + 1, c.EarlierScript);
    gauge.SetScript(kLater + 1, c.LaterScript);
    sim::TSimServer server(gauge, pty.Master());
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kPort, 0), nullptr);
    TLateTry result;
    result.Earlier = silo->GetLevel(kEarlier);
    result.EarlierValid = silo->GetState() == 1;
    result.Later = silo->GetLevel(kLater);
    result.LaterValid = silo->GetState() == 1;
    return result;
}

TEST_P(LateAnswer, NeverBecomesTheNextTanksReading) {
    const TLateCase& c = GetParam();
    // A loaded machine may wake the reading thread well past its one-second
    // wait, when an answer 35 ms late has already come; taking it then is
    // right, for it is the tank's own. So whether an answer is taken is
    // judged over a few tries (a port that waits too long takes it every
    // time), and whatever is taken must be the tank's own on every try.
    TLateTry last;
    for (int attempt = 0; attempt < 3; ++attempt) {
        last = ReadBothTanks(c);
        if (last.EarlierValid) {
            EXPECT_DOUBLE_EQ(last.Earlier, kEarlierLevel) << c.Name << ": the earlier tank's own level";
        }
        if (last.LaterValid) {
            EXPECT_DOUBLE_EQ(last.Later, kLaterLevel) << c.Name << ": the later tank's own level";
        }
        if (last.EarlierValid == c.EarlierValid && last.LaterValid == c.LaterValid) return;
    }
    EXPECT_EQ(last.EarlierValid, c.EarlierValid) << c.Name;
    EXPECT_EQ(last.LaterValid, c.LaterValid) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Gauges, LateAnswer,
    ::testing::Values(
        TLateCase{"OnTime", {}, {}, true, true},
        // The last attempt answered 35 ms after its wait, and the next tank
        // silent at its first attempt: where the answer used to be taken.
        TLateCase{"LastAttemptJustLateNextSilentFirst",
                  {TFault::NoAnswer, TFault::NoAnswer, TFault::JustLate},
                  {TFault::NoAnswer, TFault::None},
                  false,
                  true},
        // The last attempt answered 1.2 s late: after the quiet wait, in the
        // next tank's first attempt, which its own answer misses. The port
        // drops it by the tank it names.
        TLateCase{"LastAttemptLateNextSilentFirst",
                  {TFault::NoAnswer, TFault::NoAnswer, TFault::Late},
                  {TFault::NoAnswer, TFault::None},
                  false,
                  true},
        // A gauge that is always a little slow.
        TLateCase{"AlwaysJustLate", {TFault::JustLate}, {TFault::JustLate}, false, false}),
    [](const ::testing::TestParamInfo<TLateCase>& gauge) { return std::string(gauge.param.Name); });

// What the line does after a transaction that got no answer, and how long the
// next request is held back: never before the line has been quiet for an
// answer's length, never much beyond a second.
struct TQuietCase {
    const char* Name;
    std::chrono::milliseconds Noise;  // after the failed transaction
    bool Endless;
};

class QuietLine : public ::testing::TestWithParam<TQuietCase> {};

using TLineClock = test::TFarEnd::TClock;

// One failed transaction on a noisy line and the next one's request: when
// it went, measured from the failure and from the last noise byte before it.
struct TQuietTry {
    bool Sent = false;
    bool LinkSilent = false;
    // The noise is meant to be unbroken, a byte every 5 ms. A machine too
    // busy to keep that pace (a gap of 20 ms) may as well hold back the
    // port's receiving thread, and the port judges the line by what it has
    // received: it may see quiet that the noise did not mean.
    bool NoiseKeptPace = true;
    TLineClock::duration AfterFailure{};
    TLineClock::duration AfterLastNoise{};
};

TQuietTry TryQuietLine(const TQuietCase& c) {
    test::TPtyPair pty(kPort);
    test::TFarEnd line(pty.Master(), [](test::TFarEnd&, int, const auto&) {});
    TKalvorComPort port(kPort);
    // Noise without an STX from before the failure (so that no delay of
    // this thread lets the line fall quiet early) to `c.Noise` after it.
    std::atomic<bool> noisy{true};
    std::atomic<TLineClock::rep> noiseEnd{TLineClock::time_point::max().time_since_epoch().count()};
    std::mutex noiseLock;
    std::vector<TLineClock::time_point> noiseTimes;  // each taken before its byte goes
    std::thread noise([&] {
        while (noisy && TLineClock::now().time_since_epoch().count() < noiseEnd) {
            {
                std::lock_guard lock(noiseLock);
                noiseTimes.push_back(TLineClock::now());
            }
            line.Put({'Z'});
            std::this_thread::sleep_for(5ms);
        }
    });
    const std::uint8_t request[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
    std::array<std::uint8_t, 256> buffer{};
    port.Transact(17, request, sizeof request, buffer.data(), 43, 0, -1);
    const auto failedAt = TLineClock::now();
    if (!c.Endless) noiseEnd = (failedAt + c.Noise).time_since_epoch().count();
    // The next transaction; only when its request goes out matters.
    std::thread next([&] { port.Transact(17, request, sizeof request, buffer.data(), 0, 0, -1); });
    const auto deadline = TLineClock::now() + 20s;
    while (line.Requests() < 4 && TLineClock::now() < deadline) std::this_thread::sleep_for(1ms);
    noisy = false;
    noise.join();
    next.join();
    TQuietTry result;
    result.LinkSilent = port.GetLinkState() == kLinkNoAnswer;
    if (line.Requests() != 4) return result;
    result.Sent = true;
    const auto sent = line.RequestTimes()[3];
    auto last = TLineClock::time_point{};
    for (const auto& at : noiseTimes) {
        if (at >= sent) break;
        if (last != TLineClock::time_point{} && at > failedAt - 100ms && at - last >= 20ms)
            result.NoiseKeptPace = false;
        last = at;
    }
    result.AfterFailure = sent - failedAt;
    result.AfterLastNoise = sent - last;
    return result;
}

bool HeldBackAsMeant(const TQuietCase& c, const TQuietTry& t) {
    // Held back about a second, with room for a loaded machine.
    if (c.Endless) return t.AfterFailure > 900ms && t.AfterFailure < 70ms + 1000ms + 1500ms;
    return t.AfterLastNoise >= 46ms && t.AfterFailure >= c.Noise;
}

TEST_P(QuietLine, NextRequestWaitsForTheLineToFallQuiet) {
    const TQuietCase& c = GetParam();
    // A busy machine can starve the port's receiving thread for an
    // answer's length while the noise goes on, and the port rightly judges
    // the line by what it received. So the timing is judged over a few
    // tries: a port that does not wait for quiet misses on every one.
    TQuietTry last;
    for (int attempt = 0; attempt < 3; ++attempt) {
        last = TryQuietLine(c);
        ASSERT_TRUE(last.Sent) << c.Name << ": the next request never went out";
        EXPECT_TRUE(last.LinkSilent) << c.Name << ": noise is no answer";
#if defined(__SANITIZE_THREAD__)
        // Under ThreadSanitizer the receiving thread alone may fall an
        // answer's length behind the noise, which no timing here can see.
        GTEST_SKIP() << "receiving too slow to judge quiet under ThreadSanitizer";
#endif
        if (last.NoiseKeptPace && HeldBackAsMeant(c, last)) return;
    }
    if (!last.NoiseKeptPace) GTEST_SKIP() << "the machine could not keep the noise's pace";
    EXPECT_TRUE(HeldBackAsMeant(c, last))
        << c.Name << ": sent " << std::chrono::duration<double, std::milli>(last.AfterFailure).count()
        << " ms after the failure, " << std::chrono::duration<double, std::milli>(last.AfterLastNoise).count()
        << " ms after the last noise byte";
}

INSTANTIATE_TEST_SUITE_P(Lines, QuietLine,
                         ::testing::Values(TQuietCase{"NoiseFor400ms", 400ms, false},
                                           TQuietCase{"EndlessNoise", 0ms, true}),
                         [](const ::testing::TestParamInfo<TQuietCase>& line) {
                             return std::string(line.param.Name);
                         });

// On the caller's thread, a transaction asks to sleep only its protocol
// time after a success; after a failure it first waits out the rest of the
// 70 ms pause (the line is silent here), unless the host has already let
// that much time pass.
TEST(QuietLineTiming, SuccessfulTransactionsKeepTheirTiming) {
    test::TScriptedComm comm;
    comm.RecordSleeps = true;
    std::atomic<bool> answering{true};
    const auto answer = test::LevelAnswer("0012345", "0000100", "0215");
    comm.OnWrite = [&] {
        if (answering) comm.Receive(answer);
    };
    TKalvorComPort port(1, comm);
    port.SetOnCheckAnswer(test::ProtocolCheck());
    const std::uint8_t request[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
    std::array<std::uint8_t, 256> buffer{};
    comm.TakeSleepsOfThisThread();
    const auto transact = [&](bool answered) {
        answering = answered;
        port.Transact(17, request, sizeof request, buffer.data(), 43, 0, -1);
        EXPECT_EQ(port.GetLinkState(), answered ? 1 : 2);
        return comm.TakeSleepsOfThisThread();
    };
    using TSleeps = std::vector<DWORD>;
    EXPECT_EQ(transact(true), TSleeps{1000}) << "the first";
    EXPECT_EQ(transact(true), TSleeps{1000}) << "after a success";
    EXPECT_EQ(transact(false), (TSleeps{1000, 70, 1000, 70, 1000})) << "a failure";

    const TSleeps afterFailure = transact(true);
    ASSERT_GE(afterFailure.size(), 2u);
    EXPECT_EQ(afterFailure.back(), 1000u);
    const DWORD quiet = std::accumulate(afterFailure.begin(), afterFailure.end() - 1, DWORD{0});
    EXPECT_GT(quiet, 0u) << "after a failure";
    EXPECT_LE(quiet, 70u) << "after a failure, on a silent line";

    transact(false);
    std::this_thread::sleep_for(100ms);  // the host's own pause
    EXPECT_EQ(transact(true), TSleeps{1000}) << "after a failure the host paused after";
}

}  // namespace
}  // namespace qmx
