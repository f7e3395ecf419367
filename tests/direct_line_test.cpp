// Readings over a direct line: the silo on a COM type, its framed port and
// the simulated gauge on the far end of a pty.

#include <gtest/gtest.h>

#include <dirent.h>

#include <array>
#include <atomic>
#include <thread>

#include "driver/connection.h"
#include "driver/silo.h"
#include "gauge.h"
#include "serial/kalvor_port.h"
#include "sim_server.h"
#include "support/frames.h"
#include "support/process_counts.h"
#include "support/protocol_check.h"
#include "support/pty_pair.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using sim::TFault;

constexpr int kPort = 9;          // COM9
constexpr std::uint32_t kComNumber = kPort;

// A gauge whose tank 1 holds known values, served on COM9.
class DirectLine : public ::testing::Test {
protected:
    void SetUp() override {
        sim::TTank& tank = FGauge.Tank(1);
        tank.Level = 1234.56;
        tank.LevelDrift = 0;
        tank.SecondValue = 12.5;
        tank.Temperature = -12.5;
        tank.Density = 0.8123;
        FServer = std::make_unique<sim::TSimServer>(FGauge, FPty.Master());
    }
    void TearDown() override { FServer.reset(); }

    test::TPtyPair FPty{kPort};
    sim::TGauge FGauge;
    std::unique_ptr<sim::TSimServer> FServer;
};

TEST_F(DirectLine, SiloReadsEveryValueOfATank) {
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kComNumber, 0), nullptr);
    ASSERT_EQ(silo->ConnectionType(), kPort + 2);
    EXPECT_DOUBLE_EQ(silo->GetLevel(0), 1234.56);
    EXPECT_EQ(silo->GetState(), 1);
    double record[4] = {};
    silo->GetTemperatures(0, record);
    EXPECT_DOUBLE_EQ(record[0], -12.5);
    EXPECT_DOUBLE_EQ(record[3], -12.5);
    EXPECT_EQ(silo->GetAuxValue(0), 12);
    EXPECT_EQ(FServer->Requests(), 1) << "one exchange serves level, temperature and second value";
    EXPECT_DOUBLE_EQ(silo->GetDensity(0), 0.8123);
    EXPECT_EQ(silo->GetState(), 1);
    EXPECT_EQ(FServer->Requests(), 2);
}

TEST_F(DirectLine, SilentGaugeEndsTheReadingInvalidAfterThreeAttempts) {
    FServer->WithGauge([](sim::TGauge& gauge) { gauge.SetFaultAll(TFault::NoAnswer); });
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kComNumber, 0), nullptr);
    EXPECT_EQ(silo->GetLevel(0), -1.0);
    EXPECT_EQ(silo->GetState(), 3);
    EXPECT_EQ(FServer->Requests(), 3);
}

struct TFaultCase {
    TFault Fault;
    std::uint8_t LinkState;  // the port's, as Request leaves it
    int Attempts;
};

class DirectLineFault : public DirectLine, public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(DirectLineFault, GivesTheLinkStateAndAttemptsOfTheProtocol) {
    const TFaultCase c = GetParam();
    FServer->WithGauge([&](sim::TGauge& gauge) { gauge.SetFaultAll(c.Fault); });
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kComNumber, 0), nullptr);
    std::array<std::uint8_t, 256> buffer{'L', '0', '1'};
    EXPECT_EQ(silo->Request(buffer.data(), 3, 43, 0), 0);
    EXPECT_EQ(silo->GetState(), c.LinkState);
    EXPECT_EQ(FServer->Requests(), c.Attempts);
    if (c.LinkState == 1) {
        EXPECT_EQ(buffer[0], 0x02);
        EXPECT_EQ(buffer[41], 0x03);
    } else {
        EXPECT_EQ(buffer[0], 'L') << "a failed exchange leaves the buffer alone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DirectLineFault,
    ::testing::Values(TFaultCase{TFault::NoAnswer, 2, 3}, TFaultCase{TFault::BadCheck, 3, 3},
                      TFaultCase{TFault::NoEtx, 3, 3}, TFaultCase{TFault::ExtraBytes, 3, 3},
                      TFaultCase{TFault::Short, 3, 3}, TFaultCase{TFault::Flood, 3, 3},
                      TFaultCase{TFault::Noise, 1, 1}, TFaultCase{TFault::Slow, 1, 1},
                      TFaultCase{TFault::Junk, 1, 1},
                      // The late answer lands in the second attempt's wait.
                      TFaultCase{TFault::Late, 1, 2}),
    [](const ::testing::TestParamInfo<TFaultCase>& param) {
        std::string name = sim::FaultName(param.param.Fault);
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

TEST_F(DirectLine, FieldsThatAreNotNumbersReadAsTheirDefaults) {
    FServer->WithGauge([](sim::TGauge& gauge) { gauge.SetFaultAll(TFault::Junk); });
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(kComNumber, 0), nullptr);
    EXPECT_DOUBLE_EQ(silo->GetLevel(0), 10.0);
    EXPECT_EQ(silo->GetState(), 1);
    EXPECT_DOUBLE_EQ(silo->GetDensity(0), 0.005);
}

TEST(DirectLineOpen, FactoryFailsCleanlyOnADeviceThatDoesNotExist) {
    const std::size_t before = test::OpenFiles();
    try {
        std::make_unique<TSilo>(ConnectionTypeFor(kComNumber, 0), nullptr);
        ADD_FAILURE() << "a silo on a missing device";
    } catch (const EOpenPortFail& error) {
        EXPECT_STREQ(error.what(), "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC COM9");
    }
    EXPECT_EQ(test::OpenFiles(), before);
}

// The framed port against a far end that the test scripts byte by byte.
class FramedPort : public ::testing::Test {
protected:
    // Answers each request (a 6-byte frame) with `answer`, counting them.
    void AnswerWith(std::vector<std::uint8_t> answer) {
        FFarEnd = std::thread([this, answer] {
            std::uint8_t byte = 0;
            int inFrame = 0;
            while (!FStop) {
                const ssize_t got = ::read(FPty.Master(), &byte, 1);
                if (got != 1) {
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                if (byte == 0x02) inFrame = 1;
                else if (inFrame > 0 && ++inFrame == 6) {
                    ++FRequests;
                    inFrame = 0;
                    if (!answer.empty()) [[maybe_unused]] auto put = ::write(FPty.Master(), answer.data(), answer.size());
                }
            }
        });
    }
    void TearDown() override {
        FStop = true;
        if (FFarEnd.joinable()) FFarEnd.join();
    }

    static bool AcceptAll(void* self, std::uint8_t, const std::uint8_t* answer, std::int32_t value,
                          std::uint8_t& received, std::uint8_t& expected) {
        auto& test = *static_cast<FramedPort*>(self);
        test.FChecked.assign(answer, answer + received);
        test.FCheckValue = value;
        test.FCheckExpected = expected;
        return true;
    }

    test::TPtyPair FPty{kPort};
    std::thread FFarEnd;
    std::atomic<bool> FStop{false};
    std::atomic<int> FRequests{0};
    std::vector<std::uint8_t> FChecked;
    std::int32_t FCheckValue = 0;
    std::uint8_t FCheckExpected = 0;
    const std::vector<std::uint8_t> FRequest = test::Frame("L01");
};

TEST_F(FramedPort, BytesBeforeTheFirstRequestAreDroppedAndASecondStxIsData) {
    TKalvorComPort port(kPort);
    const std::vector<std::uint8_t> early = {0x02, 'o', 'l', 'd', 0x03};
    [[maybe_unused]] auto put = ::write(FPty.Master(), early.data(), early.size());
    std::this_thread::sleep_for(100ms);
    const auto answer = test::Frame(std::string("A\x02" "B", 3));
    AnswerWith(answer);
    port.SetOnCheckAnswer(TAnswerCheck(&FramedPort::AcceptAll, this));
    std::array<std::uint8_t, 256> buffer{};
    EXPECT_EQ(port.Transact(17, FRequest.data(), 6, buffer.data(), 6, 0, -1), 0);
    EXPECT_EQ(FChecked, answer) << "the answer alone, its inner STX kept";
    EXPECT_EQ(FCheckValue, 255);
    EXPECT_EQ(FCheckExpected, 6);
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer.begin()));
    EXPECT_EQ(port.GetLinkState(), 1);
    EXPECT_EQ(FRequests, 1);
}

TEST_F(FramedPort, AnAnswerPastTheLongestFrameIsKeptNoFurtherAndRejected) {
    TKalvorComPort port(kPort);
    std::vector<std::uint8_t> answer(256 + 5, 'x');
    answer[0] = 0x02;
    for (int i = 0; i < 5; ++i) answer[256 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('a' + i);
    AnswerWith(answer);
    port.SetOnCheckAnswer(TAnswerCheck(&FramedPort::AcceptAll, this));
    std::array<std::uint8_t, 256> buffer{};
    port.Transact(17, FRequest.data(), 6, buffer.data(), 43, 0, -1);
    EXPECT_EQ(FChecked, std::vector<std::uint8_t>(answer.begin(), answer.begin() + 255))
        << "the first 255 bytes, not a length counted modulo 256";
    EXPECT_EQ(port.GetLinkState(), 3) << "rejected whatever the check says";
}

TEST_F(FramedPort, ExpectedLengthZeroSendsOnceAndDoesNotWait) {
    TKalvorComPort port(kPort);
    AnswerWith({});
    port.SetLinkState(7);
    std::array<std::uint8_t, 256> buffer{};
    EXPECT_EQ(port.Transact(17, FRequest.data(), 6, buffer.data(), 0, 0, -1), 0);
    for (int i = 0; i < 100 && FRequests == 0; ++i) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(FRequests, 1);
    EXPECT_EQ(port.GetLinkState(), 7) << "no wait, no judgement";
}

TEST_F(FramedPort, WithoutACheckEveryAnswerIsRejected) {
    TKalvorComPort port(kPort);
    AnswerWith(test::LevelAnswer("0012345", "0000100", "0100"));
    std::array<std::uint8_t, 256> buffer{};
    buffer[0] = 'L';
    EXPECT_EQ(port.Transact(17, FRequest.data(), 6, buffer.data(), 43, 0, -1), 0);
    EXPECT_EQ(FRequests, 3);
    EXPECT_EQ(port.GetLinkState(), 3);
    EXPECT_EQ(buffer[0], 'L') << "nothing copied on failure";
}

// The record of a transaction says how each attempt ended, in step with the
// link state; an output that refused the frame is told apart from a silent
// gauge.
TEST(FramedPortOutcome, RecordSaysHowTheTransactionEnded) {
    struct TCase {
        const char* Name;
        std::vector<std::uint8_t> Answer;  // sent back for every request
        bool OutputFull;
        std::uint8_t Expected;
        std::size_t Attempts;
        TAttemptVerdict Verdict;  // of the last attempt
        bool SendFailed;
        std::uint8_t LinkState;
        std::vector<std::uint8_t> AfterEnd;  // arrives once the transaction has ended
    };
    const auto valid = test::LevelAnswer("0012345", "0000100", "0215");
    const TCase cases[] = {
        {"valid answer", valid, false, 43, 1, TAttemptVerdict::Valid, false, 1, {}},
        {"silent gauge", {}, false, 43, 3, TAttemptVerdict::NoAnswer, false, 2, {}},
        {"rejected answer", test::Frame("L01"), false, 43, 3, TAttemptVerdict::WrongLength, false, 3, {}},
        {"full output", {}, true, 43, 3, TAttemptVerdict::NoAnswer, true, 2, {}},
        {"no answer expected", valid, false, 0, 0, TAttemptVerdict::NoAnswer, false, 1, {}},
        {"answer after the last wait", {}, false, 43, 3, TAttemptVerdict::NoAnswer, false, 2, valid},
    };
    for (const auto& c : cases) {
        test::TScriptedComm comm;
        comm.InstantSleep = true;
        comm.OnWrite = [&] {
            if (!c.Answer.empty()) comm.Receive(c.Answer);
        };
        TKalvorComPort port(1, comm);
        if (c.OutputFull) {
            comm.Always("WriteFile", test::TScriptedComm::TOutcome{FALSE, ERROR_IO_PENDING, true});
            comm.HoldWrites(true);
            const std::vector<std::uint8_t> filler(4096, 0);
            port.PutBlock(filler.data(), 4096);
        }
        port.SetOnCheckAnswer(test::ProtocolCheck());
        const std::uint8_t request[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
        std::array<std::uint8_t, 256> buffer{};
        EXPECT_EQ(port.Transact(17, request, sizeof request, buffer.data(), c.Expected, 0, -1), 0) << c.Name;
        if (!c.AfterEnd.empty()) {
            comm.Receive(c.AfterEnd);
            std::this_thread::sleep_for(100ms);  // for the event thread to take it in
        }
        const TExchangeRecord& record = port.LastExchange();
        EXPECT_EQ(port.GetLinkState(), c.LinkState) << c.Name;
        EXPECT_EQ(record.LinkState, c.LinkState) << c.Name;
        EXPECT_EQ(record.Request.Text(), "L01") << c.Name;
        // On the instant clock an answer may still be on its way when the
        // first wait ends: a valid one may take another attempt.
        if (c.Verdict == TAttemptVerdict::Valid) {
            ASSERT_GE(record.Attempts.size(), c.Attempts) << c.Name;
        } else {
            ASSERT_EQ(record.Attempts.size(), c.Attempts) << c.Name;
        }
        EXPECT_EQ(record.Verdict(), c.Verdict) << c.Name << ": " << VerdictText(record.Verdict());
        if (c.Attempts != 0) {
            EXPECT_EQ(record.Attempts.back().SendFailed, c.SendFailed) << c.Name;
        }
        EXPECT_EQ(buffer[0] == 0x02, record.Accepted()) << c.Name << ": copied only when valid";
    }
}

}  // namespace
}  // namespace qmx
