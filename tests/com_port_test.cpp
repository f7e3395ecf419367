// The serial port on the scripted backend: the calls it makes, in order,
// and its rings and workers under every outcome the device can give.

#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <numeric>
#include <thread>

#include "serial/com_port.h"
#include "support/scripted_comm.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TScriptedComm;
using TOutcome = TScriptedComm::TOutcome;

// A port that counts what DataArrived reports and can take the bytes.
class TCountingPort final : public TComPort {
public:
    TCountingPort(std::uint16_t number, TCommApi& api, bool take = false) : TComPort(number, api), FTake(take) {
        StartArrivals();
    }
    ~TCountingPort() override { Close(); }
    using TComPort::StopThreads;

    void DataArrived(std::uint16_t count) override {
        std::vector<std::uint8_t> taken;
        if (FTake)
            for (std::uint16_t i = 0; i < count; ++i) taken.push_back(GetChar());
        std::lock_guard lock(FMutex);
        Counts.push_back(count);
        Taken.insert(Taken.end(), taken.begin(), taken.end());
        if (ThrowOnce) {
            ThrowOnce = false;
            FChanged.notify_all();
            throw std::runtime_error("handler failure");
        }
        FChanged.notify_all();
    }

    // Waits until the reported counts add up to `total`.
    bool WaitForTotal(std::size_t total) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, 5s, [&] {
            return std::accumulate(Counts.begin(), Counts.end(), std::size_t{0}) >= total;
        });
    }
    std::vector<std::uint16_t> CountsSoFar() {
        std::lock_guard lock(FMutex);
        return Counts;
    }

    bool ThrowOnce = false;
    std::vector<std::uint16_t> Counts;
    std::vector<std::uint8_t> Taken;

private:
    const bool FTake;
    std::mutex FMutex;
    std::condition_variable FChanged;
};

template <class Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

std::vector<std::uint8_t> Bytes(std::size_t count, unsigned seed = 0) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

TEST(ComPortOpen, MakesTheCallsInOrderAndCloseUndoesThem) {
    TScriptedComm comm;
    {
        TComPort port(3, comm);
        EXPECT_TRUE(port.IsOpen());
        const auto opened = comm.CallsNamed({"CreateFileA", "SetupComm", "GetCommState", "SetCommState",
                                             "SetCommMask", "SetCommTimeouts"});
        const std::vector<std::string> expected = {
            "CreateFileA(\\\\.\\COM3,0xC0000000,0,3,0x40000080)",
            "SetupComm(4096,4096)",
            "GetCommState()",
            "GetCommState()",
            "SetCommState(5760,8,0,0,0x1)",  // the default speed is 5760, not 57600
            "SetCommMask(0x21FD)",           // the event thread's
            "SetCommTimeouts(0xFFFFFFFF,0,0,0,20000)",
        };
        EXPECT_EQ(opened, expected);
        EXPECT_EQ(comm.CountOf("ClearCommError"), 1) << "Open reads the line errors once";
        comm.ClearCalls();
    }
    const auto closed = comm.CallsNamed({"SetCommMask", "CloseHandle"});
    EXPECT_EQ(closed, (std::vector<std::string>{"SetCommMask(0x0)", "CloseHandle(device)"}));
    EXPECT_EQ(comm.OpenHandles(), 0);
}

TEST(ComPortOpen, FailureAtAnyStepReleasesAllAndRaisesItsError) {
    struct TCase {
        const char* Call;
        const char* Message;
    };
    const TCase cases[] = {
        {"CreateFileA", "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC COM4"},
        {"SetupComm", "Setup parameter not supported for COM4"},
        {"SetCommState", "Parameter not supported for COM4"},
    };
    for (const auto& c : cases) {
        TScriptedComm comm;
        comm.Next(c.Call, TOutcome{FALSE, ERROR_ACCESS_DENIED});
        try {
            TComPort port(4, comm);
            ADD_FAILURE() << c.Call << ": no error";
        } catch (const ESerialIO& error) {
            EXPECT_STREQ(error.what(), c.Message) << c.Call;
        }
        EXPECT_EQ(comm.OpenHandles(), 0) << c.Call;
        EXPECT_EQ(comm.CountOf("SetCommMask"), 0) << c.Call << ": no worker was started";
    }
    TScriptedComm comm;
    comm.Next("CreateFileA", TOutcome{FALSE, ERROR_FILE_NOT_FOUND});
    EXPECT_THROW(TComPort(4, comm), EOpenPortFail);
    comm.Next("SetupComm", TOutcome{FALSE, ERROR_INVALID_PARAMETER});
    EXPECT_THROW(TComPort(4, comm), ENotSupported);
}

TEST(ComPortClosed, SettersOnlyStoreAndOperationsRaisePortNotOpen) {
    TScriptedComm comm;
    TComPort port(0, comm);
    EXPECT_FALSE(port.IsOpen());
    port.SetBaudRate(9600);
    port.SetStopBits(2);
    EXPECT_TRUE(comm.Calls().empty()) << "a closed port only stores its settings";
    try {
        port.GetChar();
        ADD_FAILURE();
    } catch (const EPortNotOpen& error) {
        EXPECT_STREQ(error.what(), "Port COM0 not open");
    }
    const std::uint8_t byte = 1;
    EXPECT_THROW(port.PutBlock(&byte, 0), EPortNotOpen);
    EXPECT_THROW(port.PutBlock(&byte, 1), EPortNotOpen);
    EXPECT_THROW(port.Purge(), EPortNotOpen);
    EXPECT_THROW(port.PeekInput(1), EBufferIsEmpty);
    try {
        port.EscapeComm(CLRRTS);
        ADD_FAILURE();
    } catch (const ESerialIO& error) {
        // "Не удается переключить RTS"
        EXPECT_STREQ(error.what(), "\xCD\xE5 \xF3\xE4\xE0\xE5\xF2\xF1\xFF \xEF\xE5\xF0\xE5\xEA\xEB\xFE\xF7\xE8\xF2\xFC RTS");
    }
}

TEST(ComPortSettings, SettersReachTheDriverWithMarkersAndRtsForcedOff) {
    struct TCase {
        const char* Setter;
        int Value;
        const char* Call;  // SetCommState(baud,bits,parity,stop,flags)
    };
    const TCase cases[] = {
        {"stop", 0, "SetCommState(5760,8,0,0,0x1)"},  {"stop", 1, "SetCommState(5760,8,0,0,0x1)"},
        {"stop", 2, "SetCommState(5760,8,0,2,0x1)"},  {"stop", 200, "SetCommState(5760,8,0,2,0x1)"},
        {"stop", 3, "SetCommState(5760,8,0,1,0x1)"},  // 3 keeps what the driver has (1.5 here)
        // The other setters leave the driver's stop bits as they are.
        {"parity", 2, "SetCommState(5760,8,2,1,0x1)"}, {"parity", 5, "SetCommState(5760,8,0,1,0x1)"},
        {"bits", 7, "SetCommState(5760,7,0,1,0x1)"},   {"bits", 9, "SetCommState(5760,8,0,1,0x1)"},
        {"baud", 9600, "SetCommState(9600,8,0,1,0x1)"}, {"baud", 0, "SetCommState(5760,8,0,1,0x1)"},
    };
    for (const auto& c : cases) {
        TScriptedComm comm;
        TComPort port(1, comm);
        // The driver comes back with RTS handshaking and one and a half stop bits.
        comm.Dcb.StopBits = ONE5STOPBITS;
        SetDcbFlags(comm.Dcb, kDcbBinary | kDcbRtsControlHandshake | 0xFFFF0000u);
        comm.ClearCalls();
        const std::string setter = c.Setter;
        if (setter == "stop") port.SetStopBits(static_cast<std::uint8_t>(c.Value));
        if (setter == "parity") port.SetParity(static_cast<std::uint8_t>(c.Value));
        if (setter == "bits") port.SetDataBits(static_cast<std::uint8_t>(c.Value));
        if (setter == "baud") port.SetBaudRate(c.Value);
        EXPECT_EQ(comm.CallsNamed({"GetCommState", "SetCommState"}),
                  (std::vector<std::string>{"GetCommState()", c.Call}))
            << c.Setter << " " << c.Value;
    }
}

TEST(ComPortSettings, RefusedSettingRaisesAndKeepsTheFieldAndThePortOpen) {
    TScriptedComm comm;
    TComPort port(2, comm);
    comm.Next("SetCommState", TOutcome{FALSE, ERROR_INVALID_PARAMETER});
    EXPECT_THROW(port.SetBaudRate(123), ENotSupported);
    EXPECT_TRUE(port.IsOpen());
}

TEST(ComPortOutput, BlocksGoOutInSpansThatEndAtTheRingsEnd) {
    TScriptedComm comm;
    TComPort port(1, comm);
    const auto first = Bytes(4000);
    port.PutBlock(first.data(), 4000);
    ASSERT_TRUE(Eventually([&] { return port.PendingOutputCount() == 0; }));
    const auto second = Bytes(200, 3);
    port.PutBlock(second.data(), 200);  // 96 bytes to the end, 104 from the start
    ASSERT_TRUE(Eventually([&] { return port.PendingOutputCount() == 0; }));
    EXPECT_EQ(comm.WrittenSpans, (std::vector<DWORD>{4000, 96, 104}));
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(comm.Sent(), expected);
}

TEST(ComPortOutput, FullRingRefusesMoreAndAZeroBlockWakesNobody) {
    TScriptedComm comm;
    comm.Always("WriteFile", TOutcome{FALSE, ERROR_IO_PENDING, true});
    comm.HoldWrites(true);
    TComPort port(1, comm);
    const auto block = Bytes(4096);
    EXPECT_EQ(port.PutBlock(block.data(), 4096), 4096);
    EXPECT_EQ(port.PendingOutputCount(), 4096) << "full";
    const std::uint8_t one = 0x55;
    try {
        port.PutBlock(&one, 1);
        ADD_FAILURE() << "a full ring took another byte";
    } catch (const EOutputBufferTooSmall& error) {
        EXPECT_STREQ(error.what(), "Buffer too small for port COM1");
    }
    EXPECT_EQ(port.PutBlock(&one, 0), 0);
    ASSERT_TRUE(Eventually([&] { return comm.CountOf("WriteFile") == 1; }));
    comm.ReleaseWrites();
    ASSERT_TRUE(Eventually([&] { return port.PendingOutputCount() == 0; }));
    EXPECT_EQ(comm.Sent(), block);
    EXPECT_EQ(comm.CountOf("WriteFile"), 1) << "nothing more was written";

    // Bytes queued while a write is pending follow it in the next span.
    comm.HoldWrites(true);
    port.PutBlock(block.data(), 100);
    ASSERT_TRUE(Eventually([&] { return comm.CountOf("WriteFile") == 2; }));
    port.PutBlock(block.data() + 100, 50);
    comm.HoldWrites(false);
    comm.ReleaseWrites();
    ASSERT_TRUE(Eventually([&] { return port.PendingOutputCount() == 0; }));
    EXPECT_EQ(std::vector<DWORD>(comm.WrittenSpans.begin() + 1, comm.WrittenSpans.end()),
              (std::vector<DWORD>{100, 50}));
}

TEST(ComPortInput, ArrivedBytesReachTheRingAndDataArrived) {
    TScriptedComm comm;
    TCountingPort port(1, comm, true);
    comm.Receive({0x10, 0x20, 0x30});
    ASSERT_TRUE(port.WaitForTotal(3));
    EXPECT_EQ(port.Taken, (std::vector<std::uint8_t>{0x10, 0x20, 0x30}));
    EXPECT_EQ(port.UnreadInputCount(), 0);
}

// Room made in a full ring, on the owner's thread: the driver raises no new
// EV_RXCHAR for what it already holds, so the port ends the event thread's
// wait itself. Wine ends such a wait as aborted; that is no failure.
TEST(ComPortInput, RoomMadeInAFullRingIsFilledFromWhatTheDriverHolds) {
    struct TCase {
        const char* Name;
        bool AbortLikeWine;
        bool ByPurge;
    };
    for (const TCase& c : {TCase{"GetChar", false, false}, TCase{"GetChar, Wine", true, false},
                           TCase{"Purge", false, true}, TCase{"Purge, Wine", true, true}}) {
        TScriptedComm comm;
        comm.DriverQueueLimit = 20000;
        comm.AbortWaitOnMaskChange(c.AbortLikeWine);
        TCountingPort port(1, comm);
        const auto bytes = Bytes(8192 + 10);
        comm.Receive(bytes);
        ASSERT_TRUE(port.WaitForTotal(8192)) << c.Name;
        EXPECT_EQ(port.UnreadInputCount(), 8192) << c.Name;
        EXPECT_EQ(port.PeekInput(8192), bytes[8191]) << c.Name;
        EXPECT_THROW(port.PeekInput(8193), EBufferIsEmpty) << c.Name;
        EXPECT_EQ(port.PeekInput(1), bytes[0]) << c.Name;

        if (c.ByPurge) {
            port.Purge();
            comm.Receive({0xEE});
            ASSERT_TRUE(port.WaitForTotal(8193)) << c.Name;
            EXPECT_EQ(port.UnreadInputCount(), 1) << c.Name << ": the driver's bytes went with the ring's";
            EXPECT_EQ(port.PeekInput(1), 0xEE) << c.Name;
        } else {
            EXPECT_EQ(port.GetChar(), bytes[0]) << c.Name;
            // No further arrival: the byte the driver holds fills the room.
            ASSERT_TRUE(port.WaitForTotal(8193)) << c.Name;
            EXPECT_EQ(port.UnreadInputCount(), 8192) << c.Name << ": exactly the free byte was read";
            EXPECT_EQ(port.PeekInput(8192), bytes[8192]) << c.Name;
        }
    }
}

TEST(ComPortInput, InputCrossingTheEndOfTheRingIsReadInTwo) {
    TScriptedComm comm;
    comm.DriverQueueLimit = 20000;
    TCountingPort port(1, comm, true);
    comm.Receive(Bytes(8000));
    ASSERT_TRUE(port.WaitForTotal(8000));
    comm.ClearCalls();
    const auto bytes = Bytes(500, 9);
    comm.Receive(bytes);
    ASSERT_TRUE(port.WaitForTotal(8500));
    EXPECT_EQ(comm.CallsNamed({"ReadFile"}), (std::vector<std::string>{"ReadFile(192)", "ReadFile(308)"}));
    EXPECT_EQ(port.CountsSoFar().back(), 500);
    EXPECT_EQ(std::vector<std::uint8_t>(port.Taken.end() - 500, port.Taken.end()), bytes);
}

TEST(ComPortInput, PendingReadsCompleteThroughTheirRecord) {
    TScriptedComm comm;
    comm.Always("ReadFile", TOutcome{FALSE, ERROR_IO_PENDING, true});
    TCountingPort port(1, comm, true);
    comm.Receive({1, 2, 3, 4});
    ASSERT_TRUE(port.WaitForTotal(4));
    EXPECT_EQ(port.Taken, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(ComPortInput, PurgeEmptiesTheRingAndTheDriver) {
    TScriptedComm comm;
    TCountingPort port(1, comm);
    comm.Receive({1, 2, 3});
    ASSERT_TRUE(port.WaitForTotal(3));
    port.Purge();
    EXPECT_EQ(port.UnreadInputCount(), 0);
    EXPECT_EQ(comm.CallsNamed({"PurgeComm"}), (std::vector<std::string>{"PurgeComm(0xA)"}));
}

TEST(ComPortInput, HandlerExceptionDoesNotEndReception) {
    TScriptedComm comm;
    TCountingPort port(1, comm, true);
    port.ThrowOnce = true;
    comm.Receive({1});
    ASSERT_TRUE(port.WaitForTotal(1));
    comm.Receive({2});
    ASSERT_TRUE(port.WaitForTotal(2));
}

TEST(ComPortEvents, RefusedRingTrailingEdgeFallsBackOnce) {
    TScriptedComm comm;
    comm.Next("WaitCommEvent", TOutcome{FALSE, ERROR_INVALID_PARAMETER});
    TCountingPort port(1, comm, true);
    comm.Receive({7});
    ASSERT_TRUE(port.WaitForTotal(1));
    EXPECT_EQ(comm.CallsNamed({"SetCommMask"}),
              (std::vector<std::string>{"SetCommMask(0x21FD)", "SetCommMask(0x1FD)"}));
}

// A worker that acknowledges late (a loaded machine) still counts as
// acknowledging: what is asked is whether it reaches its acknowledgement,
// not how soon the scheduler runs it.
TEST(ComPortStop, IdleStopAcknowledgesWithoutTermination) {
    for (bool abortLikeWine : {false, true}) {
        TScriptedComm comm;
        comm.AbortWaitOnMaskChange(abortLikeWine);
        TCountingPort port(1, comm);
        EXPECT_EQ(port.StopThreads(), 0) << abortLikeWine;
    }
}

// The event thread may reach its wait only after the whole stop has gone
// by: the SetCommMask that ends a pending wait, the acknowledgement's 200 ms
// and the cancel. Where a worker cannot be ended from outside, the stop then
// waits for that thread, which must see the stop by itself.
TEST(ComPortStop, StopBeforeTheWaitIsPendingStillEndsTheEventThread) {
    TScriptedComm comm;
    std::atomic<bool> first{true};
    comm.BeforeWait = [&] {
        if (!first.exchange(false)) return;
        const int masksBefore = comm.CountOf("SetCommMask");
        Eventually([&] { return comm.CountOf("SetCommMask") > masksBefore; });
        Eventually([&] { return comm.CountOf("CancelIoEx") > 0; });
    };
    TCountingPort port(1, comm);
    auto stopped = std::async(std::launch::async, [&] { port.StopThreads(); });
    if (stopped.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "the stop waits for an event thread that never sees it";
        std::_Exit(1);  // the stuck thread keeps the process from ending
    }
}

TEST(ComPortStop, PendingWriteIsCancelledAndTheWriterStops) {
    TScriptedComm comm;
    comm.Always("WriteFile", TOutcome{FALSE, ERROR_IO_PENDING, true});
    comm.HoldWrites(true);
    {
        TCountingPort port(1, comm);
        const auto block = Bytes(10);
        port.PutBlock(block.data(), 10);
        ASSERT_TRUE(Eventually([&] { return comm.CountOf("WriteFile") == 1; }));
        EXPECT_EQ(port.StopThreads(), 0);
    }
    EXPECT_GE(comm.CountOf("CancelIoEx"), 1);
    EXPECT_EQ(comm.OpenHandles(), 0);
}

TEST(ComPortFailure, DeviceThatKeepsFailingIsPacedAndStillCloses) {
    TScriptedComm comm;
    comm.Always("WaitCommEvent", TOutcome{FALSE, ERROR_BAD_COMMAND});
    comm.Always("WriteFile", TOutcome{FALSE, ERROR_DEVICE_REMOVED});
    {
        TCountingPort port(1, comm);
        const auto block = Bytes(10);
        port.PutBlock(block.data(), 10);
        std::this_thread::sleep_for(1s);
        // Retried without pause, each would run hundreds of thousands of times.
        EXPECT_LT(comm.CountOf("WaitCommEvent"), 60);
        EXPECT_LT(comm.CountOf("WriteFile"), 60);
        EXPECT_GT(comm.CountOf("WriteFile"), 1) << "the span is tried again";
        EXPECT_EQ(port.StopThreads(), 0);
    }
    EXPECT_EQ(comm.OpenHandles(), 0);
}

TEST(ComPortFailure, FailedWaitCompletionEndsTheEventThreadAndCloseStillCompletes) {
    TScriptedComm comm;
    // A failure that says nothing of a device gone (those keep the thread
    // going, paced, for the port to be opened again).
    comm.Next("GetOverlappedResult", TOutcome{FALSE, ERROR_GEN_FAILURE});
    auto port = std::make_unique<TCountingPort>(1, comm);
    // The thread ends on the failed completion without a look at a stop.
    ASSERT_TRUE(Eventually([&] { return comm.CountOf("GetOverlappedResult") >= 1; }));
    EXPECT_EQ(port->StopThreads(), 1) << "the ended thread never acknowledged";
    port.reset();
    EXPECT_EQ(comm.OpenHandles(), 0);
}

}  // namespace
}  // namespace qmx
