// The framed port's fast answers: a tool's mode, off for the library. A
// whole, checked answer ends the wait at once; anything else still waits
// the protocol's full second; the pause between requests is kept.

#include <gtest/gtest.h>

#include <chrono>

#include "driver/connection.h"
#include "driver/silo.h"
#include "gauge.h"
#include "reading.h"
#include "recording_port.h"
#include "sim_server.h"
#include "support/far_end.h"
#include "support/frames.h"
#include "support/pty_pair.h"

namespace qmx::tools {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr int kPort = 9;
constexpr std::uint32_t kConnectionType = kPort + 2;

// How long reading one tank (two exchanges) takes, and whether it was valid.
std::pair<TClock::duration, bool> TimeTank(TSilo& silo, int tank, TRecordingPort* port = nullptr) {
    const auto start = TClock::now();
    const bool valid = ReadTank(silo, tank, port).Valid;
    return {TClock::now() - start, valid};
}

TEST(FastAnswers, TheLibrarysOwnPortKeepsTheFullSecond) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    {
        auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kPort, 0), nullptr);
        const auto start = TClock::now();
        ReadTank(*silo, 1);
        EXPECT_GE(TClock::now() - start, 2000ms) << "two exchanges, a full second each";
    }
    // The reader's port too, until the tool turns the mode on.
    TRecordingPort* port = nullptr;
    TSilo recorded(kConnectionType, nullptr, RecordingOpener({}, port));
    EXPECT_GE(TimeTank(recorded, 2, port).first, 2000ms);
}

TEST(FastAnswers, AWholeCheckedAnswerEndsTheWaitAndARejectedOneDoesNot) {
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    gauge.SetFault(2, sim::TFault::BadCheck);
    gauge.SetFault(3, sim::TFault::ExtraBytes);
    sim::TSimServer server(gauge, pty.Master());
    TRecordingPort* port = nullptr;
    TSilo silo(kConnectionType, nullptr, RecordingOpener({}, port));
    port->SetFastAnswers(true, 0ms);
    const auto [good, goodValid] = TimeTank(silo, 1);
    EXPECT_TRUE(goodValid);
    // Generous for a loaded machine; the default mode takes two seconds.
    EXPECT_LT(good, 1500ms);
    for (int tank : {2, 3}) {
        const auto [bad, badValid] = TimeTank(silo, tank);
        EXPECT_FALSE(badValid) << tank;
        EXPECT_GE(bad, 3000ms) << "three attempts of a full second, tank " << tank;
    }
}

TEST(FastAnswers, ThePauseKeepsTheLineQuietBeforeEachRequest) {
    test::TPtyPair pty(kPort);
    test::TFarEnd line(pty.Master(), [](test::TFarEnd& far, int, const std::vector<std::uint8_t>& frame) {
        const std::string echo(frame.begin() + 1, frame.begin() + 4);
        far.Put(frame[1] == 'L' ? test::LevelAnswer("0012345", "0000350", "0155", echo)
                                : test::DensityAnswer("00835000", echo));
    });
    TRecordingPort* port = nullptr;
    TSilo silo(kConnectionType, nullptr, RecordingOpener({}, port));
    port->SetFastAnswers(true, 300ms);
    for (int tank = 1; tank <= 2; ++tank) EXPECT_TRUE(ReadTank(silo, tank, port).Valid);
    const auto times = line.RequestTimes();
    ASSERT_EQ(times.size(), 4u);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 300ms) << i;
}

}  // namespace
}  // namespace qmx::tools
