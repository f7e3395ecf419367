#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "driver/silo.h"
#include "support/fake_port.h"
#include "support/frames.h"
#include "support/recording_host.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TFakePorts;
using test::TRecordingHost;

using TBuffer = std::array<std::uint8_t, 256>;

TBuffer PayloadL01() { return TBuffer{'L', '0', '1'}; }

// Runs `work` on another thread and tells whether it finished in good time:
// a silo whose lock was left held would block it for ever.
bool FinishesOnAnotherThread(const std::function<void()>& work) {
    auto done = std::async(std::launch::async, work);
    return done.wait_for(10s) == std::future_status::ready;
}

TEST(Request, BlockPathCallsCheckExchangeAndLineStateInOrder) {
    TRecordingHost host;
    host.Answer = test::LevelAnswer("0012345", "0000100", "0215");
    host.LineState = 3;
    TSilo silo(1, &host);
    TBuffer buffer = PayloadL01();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"SetAnswerCheck(1,17)",
                                                      "Exchange(1,17,17,6,43,0)",
                                                      "GetLineState(33)"}));
    EXPECT_EQ(host.LastFrame(), (std::vector<std::uint8_t>{0x02, 'L', '0', '1', 0x03, 0x4C}));
    EXPECT_EQ(silo.GetState(), 3) << "the line's state is taken as it comes";
    EXPECT_EQ(host.Check().Object(), &silo);
    EXPECT_TRUE(std::equal(host.Answer.begin(), host.Answer.end(), buffer.begin()));
}

TEST(Request, ExchangeResultIsReturnedUnchanged) {
    TRecordingHost host;
    host.ExchangeResult = 42;
    host.LineState = 2;
    TSilo silo(0, &host);
    TBuffer buffer = PayloadL01();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 42);
    EXPECT_EQ(silo.GetState(), 2);
}

TEST(Request, CheckReportsEveryVerdictOnTheBlockPathOnly) {
    TRecordingHost host;
    TSilo silo(2, &host);
    TBuffer buffer = PayloadL01();
    silo.Request(buffer.data(), 3, 43, 0);
    auto good = test::LevelAnswer("0000001", "0000001", "0001");
    std::uint8_t received = 43, expected = 43;
    host.ClearCalls();
    EXPECT_TRUE(host.Check()(17, good.data(), 255, received, expected));
    good[41] = 0x04;
    EXPECT_FALSE(host.Check()(17, good.data(), 255, received, expected));
    expected = 45;
    EXPECT_FALSE(host.Check()(17, good.data(), 255, received, expected));
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"ReportAnswerStatus(2,0)",
                                                      "ReportAnswerStatus(2,209)",
                                                      "ReportAnswerStatus(2,219)"}));
    EXPECT_EQ(received, 43);
    EXPECT_EQ(expected, 45) << "neither length is changed";
}

TEST(Request, ReportErrorsReachTheCaller) {
    TRecordingHost host;
    TSilo silo(0, &host);
    host.ThrowFrom = "ReportAnswerStatus";
    auto good = test::LevelAnswer("0000001", "0000001", "0001");
    std::uint8_t received = 43, expected = 43;
    EXPECT_THROW(silo.CheckAnswer(17, good.data(), 0, received, expected), test::THostFailure);
}

TEST(Request, WithoutTransportNoCallIsMadeAndTheLineIsSilent) {
    TSilo silo(1, nullptr);
    TBuffer buffer = PayloadL01();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), kRequestNoTransport);
    EXPECT_EQ(silo.GetState(), 2);
    EXPECT_EQ(buffer[0], 'L') << "nothing was written back";
}

TEST(Request, ComSiloWithoutPortEndsWithNoAnswer) {
    TRecordingHost host;
    TSilo silo(3, &host, nullptr);
    TBuffer buffer = PayloadL01();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), kRequestNoTransport);
    EXPECT_EQ(silo.GetState(), 2);
    EXPECT_TRUE(host.Calls().empty()) << "a COM silo never uses the host's blocks";
}

class PortPath : public ::testing::Test {
protected:
    void SetUp() override { TFakePorts::Reset(); }
    void TearDown() override { TFakePorts::Reset(); }
};

TEST_F(PortPath, TransactGetsTheFrameAndTheSiloTakesThePortsLinkState) {
    TRecordingHost host;
    TSilo silo(5, &host, test::OpenFakePort);
    auto& port = *TFakePorts::Last;
    port.Answer = test::LevelAnswer("0012345", "0000100", "0215");
    TBuffer buffer = {'L', '1', '2'};
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(port.LastFrame, (std::vector<std::uint8_t>{0x02, 'L', '1', '2', 0x03, 0x4E}));
    EXPECT_EQ(port.LastArguments, (std::vector<std::int64_t>{17, 6, 43, 0, -1}));
    EXPECT_EQ(silo.GetState(), 1);
    EXPECT_TRUE(std::equal(port.Answer.begin(), port.Answer.end(), buffer.begin()));
    EXPECT_TRUE(host.Calls().empty()) << "the check reports nothing on a direct line";

    port.Answer[10] ^= 1;
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(silo.GetState(), 3);
    port.Answer.clear();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(silo.GetState(), 2);
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(PortPath, PortErrorIsAbsorbedWithTheStateKeptAndTheLockFree) {
    TSilo silo(3, nullptr, test::OpenFakePort);
    TFakePorts::Last->ThrowFromTransact = true;
    silo.SetState(7);
    TBuffer buffer = PayloadL01();
    EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), kRequestAborted);
    EXPECT_EQ(silo.GetState(), 7);
    EXPECT_TRUE(FinishesOnAnotherThread([&] {
        TBuffer other = PayloadL01();
        silo.Request(other.data(), 3, 43, 0);
    }));
}

TEST(Request, EveryHostErrorIsAbsorbedWithTheLockFree) {
    struct TCase {
        const char* Failing;
        std::int32_t Result;  // the transport's result once it has given one
    };
    const TCase cases[] = {
        {"SetAnswerCheck", kRequestAborted},
        {"Exchange", kRequestAborted},
        {"GetLineState", 0},
    };
    for (const auto& c : cases) {
        TRecordingHost host;
        host.ThrowFrom = c.Failing;
        host.LineState = 1;
        TSilo silo(0, &host);
        silo.SetState(9);
        TBuffer buffer = PayloadL01();
        std::int32_t result = 1234;
        EXPECT_NO_THROW(result = silo.Request(buffer.data(), 3, 43, 0)) << c.Failing;
        EXPECT_EQ(result, c.Result) << c.Failing;
        EXPECT_EQ(silo.GetState(), 9) << c.Failing;
        host.ThrowFrom.clear();
        EXPECT_TRUE(FinishesOnAnotherThread([&] {
            TBuffer other = PayloadL01();
            silo.Request(other.data(), 3, 43, 0);
        })) << c.Failing;
        EXPECT_EQ(silo.GetState(), 1) << c.Failing;
    }
}

TEST(Request, PayloadTooLongForAFrameIsRefusedWithoutExchange) {
    TRecordingHost host;
    TSilo silo(0, &host);
    TBuffer buffer{};
    EXPECT_EQ(silo.Request(buffer.data(), 253, 43, 0), kRequestAborted);
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_EQ(silo.Request(buffer.data(), 252, 43, 0), 0);
    EXPECT_EQ(host.LastFrame().size(), 255u);
}

TEST(Request, ExchangesOfOneSiloAreSerialised) {
    TRecordingHost host;
    host.ExchangeDelay = 200us;  // long enough for the threads to overlap
    host.Answer = test::LevelAnswer("0000100", "0000100", "0100");
    TSilo silo(0, &host);
    host.JudgeWithCheck = true;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&silo] {
            for (int i = 0; i < 50; ++i) {
                TBuffer buffer = PayloadL01();
                silo.Request(buffer.data(), 3, 43, 0);
                std::this_thread::yield();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(host.MaxConcurrentExchanges(), 1);
}

TEST(Request, AnyAnswerBytesLeaveTheSiloConsistent) {
    std::mt19937 random(99);
    TRecordingHost host;
    host.JudgeWithCheck = true;
    TSilo silo(0, &host);
    for (int round = 0; round < 2000; ++round) {
        host.Answer.resize(random() % 257);
        for (auto& byte : host.Answer) byte = static_cast<std::uint8_t>(random());
        host.LineState = static_cast<std::uint8_t>(random());
        host.ExchangeResult = (random() % 4 == 0) ? static_cast<std::int32_t>(random()) : 0;
        TBuffer buffer = PayloadL01();
        silo.Request(buffer.data(), 3, static_cast<std::uint8_t>(random()), 0);
        ASSERT_EQ(silo.GetState(), host.LineState);
    }
    EXPECT_TRUE(FinishesOnAnotherThread([&] {
        TBuffer buffer = PayloadL01();
        silo.Request(buffer.data(), 3, 43, 0);
    }));
}

}  // namespace
}  // namespace qmx
