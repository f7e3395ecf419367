// Reception that never stalls: whatever freed room in the input ring or the
// device's queue, and on whichever thread, the event thread reads on.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <numeric>
#include <thread>

#include "protocol/frame.h"
#include "serial/kalvor_port.h"
#include "support/far_end.h"
#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TScriptedComm;

constexpr int kPort = 9;

bool JudgeAsTheSiloDoes(void*, std::uint8_t, const std::uint8_t* answer, std::int32_t, std::uint8_t& received,
                        std::uint8_t& expected) {
    return JudgeAnswer(answer, received, expected) == TAttemptVerdict::Valid;
}

// Takes the bytes as they come, or leaves them in the ring; hears of them
// from the moment the test says.
class TTakingPort final : public TComPort {
public:
    TTakingPort(std::uint16_t number, bool takeOnArrival, TCommApi& api = PlatformComm())
        : TComPort(number, api), FTakeOnArrival(takeOnArrival) {}
    ~TTakingPort() override { Close(); }
    using TComPort::StartArrivals;

    void DataArrived(std::uint16_t count) override {
        if (FTakeOnArrival)
            for (std::uint16_t i = 0; i < count; ++i) GetChar();
        std::lock_guard lock(FMutex);
        FReported += count;
        FChanged.notify_all();
    }
    std::size_t Reported() {
        std::lock_guard lock(FMutex);
        return FReported;
    }

private:
    const bool FTakeOnArrival;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::size_t FReported = 0;
};

std::vector<std::uint8_t> Junk(std::size_t count) { return std::vector<std::uint8_t>(count, 'Z'); }

bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

// What the framed port's constructor meets when input is pending at open:
// the ring and the device's queue fill before anyone takes a byte, then
// the owner's thread frees them.
struct TFreeingStep {
    const char* Name;
    void (*Free)(TTakingPort& port);
};

class FullAtOpen : public ::testing::TestWithParam<TFreeingStep> {};

TEST_P(FullAtOpen, FreeingRoomOnTheOwnersThreadLetsReceptionGoOn) {
    test::TPtyPair pty(kPort);
    test::TFarEnd line(pty.Master(), [](test::TFarEnd&, int, const auto&) {});
    line.Put(Junk(8192 + 4096 + 1000));
    TTakingPort port(kPort, false);
    // The event thread fills the ring; the device's queue fills behind it.
    ASSERT_TRUE(Eventually([&] { return port.UnreadInputCount() == kInRingSize; }));
    std::this_thread::sleep_for(100ms);
    port.StartArrivals();
    GetParam().Free(port);
    const std::vector<std::uint8_t> later = {0x02, 'A', 0x03};
    line.Put(later);
    EXPECT_TRUE(Eventually([&] {
        while (port.UnreadInputCount() > 0) port.GetChar();
        return port.Reported() > 0;
    })) << "reception went on";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FullAtOpen,
    ::testing::Values(TFreeingStep{"Purge", [](TTakingPort& port) { port.Purge(); }},
                      TFreeingStep{"GetCharFromTheFullRing", [](TTakingPort& port) { port.GetChar(); }}),
    [](const ::testing::TestParamInfo<TFreeingStep>& step) { return std::string(step.param.Name); });

// The line: 12 KB wait in the pty as the port opens (a pty or a
// network-bridged port keeps what came before) and more is still arriving;
// the gauge answers every request once the burst is over.
TEST(BurstAtOpen, EveryOpenUnderABurstReadsItsTransactions) {
    const auto answer = test::LevelAnswer("0012345", "0000100", "0215");
    const std::uint8_t request[] = {0x02, 'L', '0', '1', 0x03, 0x4C};
    int failed = 0;
    for (int open = 0; open < 20; ++open) {
        test::TPtyPair pty(kPort);
        test::TFarEnd line(pty.Master(), [&](test::TFarEnd& far, int, const auto&) { far.Put(answer); });
        line.Put(Junk(12 * 1024));
        std::thread burst([&] { line.Put(Junk(4 * 1024)); });
        TKalvorComPort port(kPort);
        burst.join();
        port.SetOnCheckAnswer(TAnswerCheck(&JudgeAsTheSiloDoes, nullptr));
        std::array<std::uint8_t, 256> buffer{};
        port.Transact(17, request, sizeof request, buffer.data(), 43, 0, -1);
        if (port.GetLinkState() != 1) ++failed;
        EXPECT_EQ(port.GetLinkState(), 1) << "open " << open;
    }
    EXPECT_EQ(failed, 0);
}

}  // namespace
}  // namespace qmx
