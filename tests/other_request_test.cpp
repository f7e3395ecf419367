// Answers to another request: a gauge that answers late has its answer to
// one request arrive while the port awaits the next. The answer check
// passes it; the characters the gauge repeats after the STX tell it apart,
// and the port drops it and waits on for its own.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "driver/connection.h"
#include "driver/silo.h"
#include "serial/kalvor_port.h"
#include "support/far_end.h"
#include "support/frames.h"
#include "support/protocol_check.h"
#include "support/pty_pair.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;

TBytes Joined(std::initializer_list<TBytes> parts) {
    TBytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TBytes LevelFor(const std::string& echo, const std::string& level7) {
    return test::LevelAnswer(level7, "0000100", "0215", echo);
}

// The same answer with one digit of its volume field changed so that its
// check byte is an STX: a receiver that takes it for the next frame's start
// loses that frame.
TBytes WithStxCheckByte(TBytes frame) {
    frame[25] = static_cast<std::uint8_t>(frame[25] ^ frame.back() ^ 0x02);
    frame.back() = 0x02;
    return frame;
}

struct TEchoCase {
    const char* Name;
    TBytes Line;           // what the gauge sends after each request L05
    bool Accepted;
    std::uint8_t Link;
    std::size_t Attempts;
    std::size_t OtherAnswers;  // in the first attempt
    std::string OtherRequest;
};

void PrintTo(const TEchoCase& c, std::ostream* out) { *out << c.Name; }

const TBytes kOwn = LevelFor("L05", "0055555");
const TBytes kFourth = LevelFor("L04", "0044444");

class AnswerEcho : public ::testing::TestWithParam<TEchoCase> {};

TEST_P(AnswerEcho, OnlyTheAwaitedRequestsAnswerIsTaken) {
    const TEchoCase& c = GetParam();
    // On the real clock: every attempt waits its full second, so the
    // answer is whole however slowly the port's threads run.
    test::TScriptedComm comm;
    comm.OnWrite = [&] { comm.Receive(c.Line); };
    TKalvorComPort port(1, comm);
    port.SetOnCheckAnswer(test::ProtocolCheck());
    const std::uint8_t request[] = {0x02, 'L', '0', '5', 0x03, 0x4A};
    std::array<std::uint8_t, 256> buffer{};
    port.Transact(17, request, sizeof request, buffer.data(), 43, 0, -1);

    EXPECT_EQ(port.GetLinkState(), c.Link);
    const auto& attempts = port.LastExchange().Attempts;
    ASSERT_EQ(attempts.size(), c.Attempts);
    EXPECT_EQ(attempts.back().Accepted(), c.Accepted);
    EXPECT_EQ(attempts.front().OtherAnswers, c.OtherAnswers);
    if (c.OtherAnswers != 0) {
        EXPECT_EQ(attempts.front().OtherRequest.Text(), c.OtherRequest);
    }
    if (c.Accepted) {
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 43, c.Line.end() - 43)) << "the last frame";
    }
    // Whatever the line held, the next tank then reads its own answer.
    comm.OnWrite = [&] { comm.Receive(kFourth); };
    const std::uint8_t next[] = {0x02, 'L', '0', '4', 0x03, 0x49};
    port.Transact(17, next, sizeof next, buffer.data(), 43, 0, -1);
    EXPECT_EQ(port.GetLinkState(), kLinkValid);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 43, kFourth.begin())) << "tank 4's own answer";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AnswerEcho,
    ::testing::Values(
        TEchoCase{"OwnAnswer", kOwn, true, 1, 1, 0, ""},
        TEchoCase{"AnotherTanksThenOwn", Joined({kFourth, kOwn}), true, 1, 1, 1, "L04"},
        TEchoCase{"OnlyAnotherTanks", kFourth, false, 3, 3, 1, "L04"},
        TEchoCase{"AnotherQuerysOfTheSameTank",
                  test::Frame("G05" + std::string(20, '0') + "00835000" + std::string(11, '0')), false, 3, 3, 1,
                  "G05"},
        TEchoCase{"TwoOthersThenOwn", Joined({kFourth, LevelFor("G04", "0044444"), kOwn}), true, 1, 1, 2, "G04"},
        TEchoCase{"OtherWhoseCheckByteIsAnStx", Joined({WithStxCheckByte(kFourth), kOwn}), true, 1, 1, 1, "L04"},
        TEchoCase{"OtherBrokenOffByTheNextFrame",
                  Joined({TBytes(kFourth.begin(), kFourth.begin() + 20), kOwn}), true, 1, 1, 1, "L04"},
        // Answers that repeat no request are judged by the check alone.
        TEchoCase{"GaugeThatEchoesNothing", LevelFor("   ", "0012345"), true, 1, 1, 0, ""},
        TEchoCase{"LowerCaseIsNoEcho", LevelFor("l04", "0012345"), true, 1, 1, 0, ""},
        // A frame of the awaited request followed by another is one answer
        // too long, as before.
        TEchoCase{"OwnThenAnother", Joined({kOwn, kFourth}), false, 3, 3, 0, ""},
        // Past the longest frame nothing is kept: the other tank's whole
        // answer at its tail is not taken for the awaited one.
        TEchoCase{"OverLongEndingInAnotherTanksAnswer",
                  Joined({{0x02, 'L', '0', '5'}, TBytes(252, '0'), kFourth}), false, 3, 3, 0, ""}),
    [](const ::testing::TestParamInfo<TEchoCase>& line) { return std::string(line.param.Name); });

// A gauge that answers every request 1.2 to 1.9 s after it came, each
// answer naming its request: past the one-second wait, so each answer
// arrives while the port awaits the next request's.
class TAlwaysLateGauge {
public:
    explicit TAlwaysLateGauge(int master)
        : FLine(master, [this](test::TFarEnd&, int number, const TBytes& request) { Schedule(number, request); }) {
        FSender = std::thread([this] { Send(); });
    }
    ~TAlwaysLateGauge() {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
        }
        FWake.notify_all();
        FSender.join();
    }

    static std::string Level7(int tank) { return "00" + std::to_string(tank) + "0" + std::to_string(tank) + "0" + std::to_string(tank); }

private:
    using TClock = test::TFarEnd::TClock;

    void Schedule(int number, const TBytes& request) {
        const std::string echo(request.begin() + 1, request.begin() + 4);
        const int tank = (echo[1] - '0') * 10 + (echo[2] - '0');
        const auto due = TClock::now() + 1200ms + std::chrono::milliseconds(100 * (number % 8));
        std::lock_guard lock(FMutex);
        FDue.push_back({due, LevelFor(echo, Level7(tank))});
        FWake.notify_all();
    }
    void Send() {
        std::unique_lock lock(FMutex);
        while (!FStop) {
            if (FDue.empty()) {
                FWake.wait(lock);
                continue;
            }
            const auto [due, bytes] = FDue.front();
            if (FWake.wait_until(lock, due, [&] { return FStop; })) return;
            FDue.pop_front();
            lock.unlock();
            FLine.Put(bytes);
            lock.lock();
        }
    }

    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<std::pair<TClock::time_point, TBytes>> FDue;
    bool FStop = false;
    test::TFarEnd FLine;
    std::thread FSender;
};

TEST(AlwaysLateGauge, EveryValidLevelIsTheTanksOwnAndLaterAttemptsReadThem) {
    constexpr int kPort = 9;
    test::TPtyPair pty(kPort);
    TAlwaysLateGauge gauge(pty.Master());
    TSilo silo(ConnectionTypeFor(kPort, 0), nullptr);
    int valid = 0;
    for (std::uint8_t index = 0; index < 6; ++index) {
        const double level = silo.GetLevel(index);
        if (silo.GetState() != kLinkValid) continue;
        ++valid;
        const int tank = index + 1;
        EXPECT_DOUBLE_EQ(level, std::stod(TAlwaysLateGauge::Level7(tank)) / 100) << "tank " << tank;
    }
    // Each answer lands in the request's own second attempt; a loaded
    // machine may make a few miss it.
    EXPECT_GE(valid, 3);
}

}  // namespace
}  // namespace qmx
