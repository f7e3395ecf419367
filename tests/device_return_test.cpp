// A device that goes away and comes back under the same name (a USB adapter
// pulled out and plugged in again, a pty hung up and made anew): the
// workers see the signs, and the framed port opens the device again before
// the next exchange, once an exchange, with the settings it had.

#include <gtest/gtest.h>

#include <malloc.h>

#include <chrono>
#include <functional>
#include <thread>

#include "driver/silo.h"
#include "gauge.h"
#include "protocol/frame.h"
#include "serial/kalvor_port.h"
#include "sim_server.h"
#include "support/frames.h"
#include "support/process_counts.h"
#include "support/replug_line.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TScriptedComm;
using TOutcome = TScriptedComm::TOutcome;

constexpr int kPort = 9;
const std::uint8_t kRequest[] = {0x02, 'L', '0', '1', 0x03, 0x4C};

bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

bool JudgeAsTheSiloDoes(void*, std::uint8_t, const std::uint8_t* answer, std::int32_t, std::uint8_t& received,
                        std::uint8_t& expected) {
    return JudgeAnswer(answer, received, expected) == TAttemptVerdict::Valid;
}

// A port that takes what arrives and shows what its workers saw.
class TWatchedPort final : public TComPort {
public:
    TWatchedPort(TCommApi& api, bool take) : TComPort(1, api), FTake(take) { StartArrivals(); }
    ~TWatchedPort() override { Close(); }
    using TComPort::Close;
    using TComPort::DeviceLost;
    using TComPort::StopThreads;
    void DataArrived(std::uint16_t count) override {
        for (std::uint16_t i = 0; FTake && i < count; ++i) GetChar();
    }

private:
    const bool FTake;
};

// A call failing with an error, and what makes the port make that call.
enum class TProvoke { Nothing, Arrival, Block, BlockAfterOpen, FullRingPurgedLikeWine };

struct TSign {
    const char* Call;
    DWORD Error;
    TProvoke Provoke;
    bool Lost;
};

class DeviceSigns : public ::testing::TestWithParam<TSign> {};

TEST_P(DeviceSigns, FlagTheDeviceAsGoneOrNot) {
    const TSign& sign = GetParam();
    TScriptedComm comm;
    comm.DriverQueueLimit = 20000;
    comm.AbortWaitOnMaskChange(true);  // as Wine ends a wait the port interrupts itself
    if (sign.Provoke != TProvoke::BlockAfterOpen) comm.Next(sign.Call, TOutcome{FALSE, sign.Error});
    TWatchedPort port(comm, sign.Provoke != TProvoke::FullRingPurgedLikeWine);
    const std::uint8_t block[] = {1, 2, 3};
    switch (sign.Provoke) {
        case TProvoke::Nothing: break;
        case TProvoke::Arrival: comm.Receive({1, 2, 3}); break;
        case TProvoke::BlockAfterOpen: comm.Next(sign.Call, TOutcome{FALSE, sign.Error}); [[fallthrough]];
        case TProvoke::Block: port.PutBlock(block, 3); break;
        case TProvoke::FullRingPurgedLikeWine:
            comm.Receive(std::vector<std::uint8_t>(9000, 'x'));
            Eventually([&] { return port.UnreadInputCount() == kInRingSize; });
            port.Purge();  // room in a full ring: the port ends its own wait
            break;
    }
    if (sign.Lost) {
        EXPECT_TRUE(Eventually([&] { return port.DeviceLost(); })) << sign.Call << " " << sign.Error;
    } else {
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(port.DeviceLost()) << sign.Call << " " << sign.Error;
    }
    EXPECT_EQ(port.StopThreads(), 0) << "the workers still acknowledge their stop";
    port.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Signs, DeviceSigns,
    ::testing::Values(TSign{"WaitCommEvent", ERROR_DEVICE_REMOVED, TProvoke::Nothing, true},
                      TSign{"WaitCommEvent", ERROR_BAD_COMMAND, TProvoke::Nothing, true},
                      TSign{"WaitCommEvent", ERROR_ACCESS_DENIED, TProvoke::Nothing, true},
                      TSign{"GetOverlappedResult", ERROR_OPERATION_ABORTED, TProvoke::Nothing, true},
                      TSign{"ReadFile", ERROR_BAD_COMMAND, TProvoke::Arrival, true},
                      TSign{"WriteFile", ERROR_DEVICE_REMOVED, TProvoke::Block, true},
                      TSign{"ClearCommError", ERROR_ACCESS_DENIED, TProvoke::BlockAfterOpen, true},
                      TSign{"WaitCommEvent", ERROR_GEN_FAILURE, TProvoke::Nothing, false},
                      TSign{"WaitCommEvent", ERROR_INVALID_PARAMETER, TProvoke::Arrival, false},
                      TSign{"", 0, TProvoke::FullRingPurgedLikeWine, false}));

std::vector<std::string> Names(const std::vector<std::string>& calls) {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.substr(0, call.find('(')));
    return names;
}

// The framed port on a scripted device that goes and comes back.
TEST(Reopen, OnceAnExchangeWithTheSettingsOfTheFirstOpening) {
    TScriptedComm comm;
    comm.RecordSleeps = true;
    const auto answer = test::LevelAnswer("0012345", "0000100", "0215");
    comm.OnWrite = [&] { comm.Receive(answer); };
    const auto deviceCalls = [&] {
        return comm.CallsNamed({"CreateFileA", "SetupComm", "SetCommState", "PurgeComm", "EscapeCommFunction",
                                "SetCommMask", "SetCommTimeouts", "CreateThread"});
    };
    TKalvorComPort port(1, comm);
    port.SetOnCheckAnswer(TAnswerCheck(&JudgeAsTheSiloDoes, nullptr));
    const auto opening = deviceCalls();
    const int handles = comm.OpenHandles();

    comm.Next("WaitCommEvent", TOutcome{FALSE, ERROR_DEVICE_REMOVED});
    comm.Signal(EV_RING);  // the pending wait ends; the next one finds the device gone
    ASSERT_TRUE(Eventually([&] { return !port.DevicePresent(); }));

    comm.Next("CreateFileA", TOutcome{FALSE, ERROR_FILE_NOT_FOUND});
    comm.Next("CreateFileA", TOutcome{FALSE, ERROR_FILE_NOT_FOUND});
    std::array<std::uint8_t, 256> buffer{};
    for (int exchange = 1; exchange <= 2; ++exchange) {
        comm.ClearCalls();
        comm.TakeSleepsOfThisThread();
        port.Transact(17, kRequest, sizeof kRequest, buffer.data(), 43, 0, -1);
        EXPECT_EQ(port.GetLinkState(), 2) << exchange;
        EXPECT_EQ(comm.CountOf("CreateFileA"), 1) << exchange << ": one try an exchange";
        EXPECT_EQ(comm.CountOf("WriteFile"), 0) << exchange;
        EXPECT_TRUE(comm.TakeSleepsOfThisThread().empty()) << exchange << ": no wait for an answer";
        EXPECT_EQ(comm.OpenHandles(), 0) << exchange << ": nothing held while the device is away";
        EXPECT_FALSE(port.DevicePresent());
    }

    comm.ClearCalls();
    port.Transact(17, kRequest, sizeof kRequest, buffer.data(), 43, 0, -1);
    EXPECT_EQ(port.GetLinkState(), 1);
    EXPECT_TRUE(port.DevicePresent());
    // The same device and the same steps; the line's settings are those of
    // the first opening from its first step on, and end the same.
    const auto reopening = deviceCalls();
    EXPECT_EQ(Names(reopening), Names(opening));
    EXPECT_EQ(reopening.front(), opening.front());
    EXPECT_EQ(reopening.back(), opening.back()) << "9600 baud, 7 data bits, even parity, one stop bit";
    EXPECT_EQ(comm.CallsNamed({"PurgeComm", "EscapeCommFunction"}),
              (std::vector<std::string>{"PurgeComm(0xA)", "EscapeCommFunction(4)"}))
        << "nothing pending, RTS low";
    EXPECT_EQ(comm.OpenHandles(), handles);
}

// A silo on a pty behind a fixed path: the simulated gauge is unplugged and
// plugged in again after some exchanges.
struct TReplugCase {
    const char* Name;
    int ExchangesWhileAway;
};

class Replug : public ::testing::TestWithParam<TReplugCase> {
protected:
    static std::unique_ptr<TFramedPort> OpenAndKeep(std::uint8_t number) {
        auto port = OpenFramedPort(number);
        FOpened = port.get();
        return port;
    }
    static inline TFramedPort* FOpened = nullptr;
};

TEST_P(Replug, TheNextExchangeAfterTheDeviceIsBackReads) {
    const TReplugCase& c = GetParam();
    test::TReplugLine line(kPort);
    sim::TGauge gauge;
    gauge.Tank(1).Level = 1234.56;
    gauge.Tank(1).LevelDrift = 0;
    auto server = std::make_unique<sim::TSimServer>(gauge, line.Master());
    TSilo silo(kPort + 2, nullptr, &Replug::OpenAndKeep);
    silo.GetLevel(0);
    ASSERT_EQ(silo.GetState(), 1);

    server.reset();
    line.Unplug();
    ASSERT_TRUE(Eventually([&] { return !FOpened->DevicePresent(); })) << "the workers saw it go";
    for (int i = 0; i < c.ExchangesWhileAway; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::array<std::uint8_t, 256> buffer{'L', '0', '1'};
        EXPECT_EQ(silo.Request(buffer.data(), 3, 43, 0), 0);
        EXPECT_EQ(silo.GetState(), 2) << "no answer";
        // Three one-second attempts would take 3140 ms.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms) << "ends at once";
    }
    line.Plug();
    server = std::make_unique<sim::TSimServer>(gauge, line.Master());
    EXPECT_DOUBLE_EQ(silo.GetLevel(0), 1234.56);
    EXPECT_EQ(silo.GetState(), 1) << "read again";
    EXPECT_TRUE(FOpened->DevicePresent());
}

INSTANTIATE_TEST_SUITE_P(Lines, Replug,
                         ::testing::Values(TReplugCase{"BackBeforeTheNextExchange", 0},
                                           TReplugCase{"BackAfterTwoExchanges", 2}),
                         [](const ::testing::TestParamInfo<TReplugCase>& line) {
                             return std::string(line.param.Name);
                         });

// Heap in use, in bytes.
std::size_t HeapInUse() { return mallinfo2().uordblks; }

TEST(Replug, TwoHundredCyclesLeaveHandlesThreadsAndMemoryFlat) {
    test::TReplugLine line(kPort);
    TKalvorComPort port(kPort);
    std::array<std::uint8_t, 256> buffer{};
    const auto cycle = [&] {
        line.Unplug();
        if (!Eventually([&] { return !port.DevicePresent(); })) return false;
        line.Plug();
        // A request that expects no answer: the reopen is all that counts.
        port.Transact(17, kRequest, sizeof kRequest, buffer.data(), 0, 0, -1);
        return port.DevicePresent();
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(cycle());  // warm up the allocator
    const std::size_t files = test::OpenFiles();
    const std::size_t threads = test::Threads();
    const std::size_t heap = HeapInUse();
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(cycle()) << "cycle " << i;
    std::printf("open files %zu -> %zu, threads %zu -> %zu, heap %zu -> %zu bytes\n", files, test::OpenFiles(),
                threads, test::Threads(), heap, HeapInUse());
    EXPECT_EQ(test::OpenFiles(), files);
    EXPECT_EQ(test::Threads(), threads);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers keep their own heap; LeakSanitizer at exit finds leaks.
    (void)heap;
#else
    // Each opening takes 12 KB of rings: 200 kept would be 2.4 MB.
    EXPECT_LT(HeapInUse(), heap + 64 * 1024);
#endif
}

}  // namespace
}  // namespace qmx
