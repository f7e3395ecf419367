// The device under the comm layer, as the port's workers meet it: the same
// Win32 comm behaviours whatever the line, here a pty and a loopback socket,
// each with its far end played by the test.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "netline/net_comm.h"
#include "serial/comm_api.h"
#include "support/pty_pair.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;
constexpr int kPort = 9;
// The errors by which the port takes a device as gone.
bool IsGone(DWORD error) {
    return error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND || error == ERROR_ACCESS_DENIED;
}

// An opened device and its far end, which sends, never reads, and hangs up.
class TLine {
public:
    virtual ~TLine() = default;
    TCommApi* Api = nullptr;
    THandle Handle = INVALID_HANDLE_VALUE;
    void Send(const TBytes& bytes) { ASSERT_EQ(::write(Far(), bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    virtual void HangUp() = 0;

protected:
    virtual int Far() = 0;
};

class TPtyLine final : public TLine {
public:
    TPtyLine() : FPty(kPort) {
        Api = &PlatformComm();
        Handle = Api->CreateFileA("\\\\.\\COM9", 0, 0, nullptr, 0, 0, nullptr);
    }
    ~TPtyLine() override { Api->CloseHandle(Handle); }
    void HangUp() override { FPty.HangUp(); }

private:
    int Far() override { return FPty.Master(); }
    test::TPtyPair FPty;
};

class TSocketLine final : public TLine {
public:
    TSocketLine() {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        FComm = net::TNetComm::For({net::TNetAddress::TKind::Socket, "127.0.0.1", ntohs(address.sin_port)});
        Api = FComm.get();
        Handle = Api->CreateFileA("\\\\.\\COM1", 0, 0, nullptr, 0, 0, nullptr);
        FFar = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
    }
    ~TSocketLine() override {
        Api->CloseHandle(Handle);
        HangUp();
    }
    void HangUp() override {
        if (FFar >= 0) ::close(FFar);
        FFar = -1;
    }

private:
    int Far() override { return FFar; }
    std::unique_ptr<net::TNetComm> FComm;
    int FFar = -1;
};

struct TOutcome {
    BOOL Result = FALSE;
    DWORD Mask = 0;
    DWORD Error = ERROR_SUCCESS;
};

// One event wait on its own thread, as the port's event thread makes it.
std::future<TOutcome> WaitAsync(TLine& line) {
    return std::async(std::launch::async, [&line] {
        TOutcome outcome;
        TOverlapped record{};
        outcome.Result = line.Api->WaitCommEvent(line.Handle, &outcome.Mask, &record);
        if (!outcome.Result) outcome.Error = line.Api->GetLastError();
        return outcome;
    });
}

bool EndsSoon(std::future<TOutcome>& outcome) { return outcome.wait_for(5s) == std::future_status::ready; }

// The mask set, and the wait that a new mask ends at once behind.
void Arm(TLine& line) {
    ASSERT_TRUE(line.Api->SetCommMask(line.Handle, EV_RXCHAR));
    auto first = WaitAsync(line);
    ASSERT_TRUE(EndsSoon(first));
    EXPECT_EQ(first.get().Mask, 0u);
}

DWORD Queued(TLine& line) {
    TComStat stat{};
    DWORD errors = 0;
    line.Api->ClearCommError(line.Handle, &errors, &stat);
    return stat.cbInQue;
}

bool QueueReaches(TLine& line, DWORD count) {
    for (auto until = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < until;) {
        if (Queued(line) == count) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TBytes ReadNow(TLine& line, DWORD count) {
    TBytes bytes(count);
    DWORD read = 0;
    TOverlapped record{};
    EXPECT_TRUE(line.Api->ReadFile(line.Handle, bytes.data(), count, &read, &record));
    bytes.resize(read);
    return bytes;
}

// A wait still pending when the case ends is cancelled, so that its
// thread can be joined.
void EndWait(TLine& line, std::future<TOutcome>& wait) {
    if (wait.wait_for(0s) != std::future_status::ready) line.Api->CancelIoEx(line.Handle, nullptr);
    wait.wait();
}

void MaskChangeEndsTheNextWaitAndAPendingOne(TLine& line) {
    Arm(line);
    auto pending = WaitAsync(line);
    EXPECT_EQ(pending.wait_for(100ms), std::future_status::timeout) << "nothing to report";
    line.Api->SetCommMask(line.Handle, EV_RXCHAR);
    ASSERT_TRUE(EndsSoon(pending));
    EXPECT_TRUE(pending.get().Result);
}

void CancelEndsAWait(TLine& line) {
    Arm(line);
    auto pending = WaitAsync(line);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(line.Api->CancelIoEx(line.Handle, nullptr));
    ASSERT_TRUE(EndsSoon(pending));
    const TOutcome outcome = pending.get();
    EXPECT_FALSE(outcome.Result);
    EXPECT_EQ(outcome.Error, ERROR_OPERATION_ABORTED);
}

void CancelEndsABlockedWrite(TLine& line) {
    TCommTimeouts none{};  // a write waits as long as it takes
    line.Api->SetCommTimeouts(line.Handle, &none);
    // Far more than the far end, which reads nothing, takes in.
    auto write = std::async(std::launch::async, [&line] {
        const TBytes block(16 << 20, 'x');
        DWORD written = 0;
        TOverlapped record{};
        const BOOL result = line.Api->WriteFile(line.Handle, block.data(), DWORD(block.size()), &written, &record);
        return result ? ERROR_SUCCESS : line.Api->GetLastError();
    });
    ASSERT_EQ(write.wait_for(300ms), std::future_status::timeout) << "the write is held up";
    // Again until it ends, in case the write had not begun.
    bool ended = false;
    for (int i = 0; i < 60 && !ended; ++i) {
        line.Api->CancelIoEx(line.Handle, nullptr);
        ended = write.wait_for(50ms) == std::future_status::ready;
    }
    if (!ended) line.HangUp();  // so that the write ends and the case fails
    EXPECT_TRUE(ended) << "the cancel ended the write";
    const DWORD error = write.get();
    if (ended) {
        EXPECT_EQ(error, DWORD{ERROR_OPERATION_ABORTED});
    }
}

void RoomMadeWakesTheWaiter(TLine& line) {
    ASSERT_TRUE(line.Api->SetupComm(line.Handle, 16, 16));
    Arm(line);
    line.Send(TBytes(64, 'a'));
    ASSERT_TRUE(QueueReaches(line, 16));
    auto full = WaitAsync(line);
    ASSERT_TRUE(EndsSoon(full));
    EXPECT_EQ(full.get().Mask, DWORD{EV_RXCHAR});
    // Full, with the rest held back: the next wait sleeps until a read makes room.
    auto waiter = WaitAsync(line);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ReadNow(line, 16).size(), 16u);
    const bool woke = waiter.wait_for(2s) == std::future_status::ready;
    EXPECT_TRUE(woke) << "the bytes that moved in were reported";
    EndWait(line, waiter);
    if (woke) {
        EXPECT_EQ(waiter.get().Mask, DWORD{EV_RXCHAR});
    }
}

void GoneOnlyAfterTheLastByteIsRead(TLine& line) {
    Arm(line);
    line.Send({0x02, 'A', 0x03});
    ASSERT_TRUE(QueueReaches(line, 3));
    line.HangUp();
    EXPECT_EQ(ReadNow(line, 16), (TBytes{0x02, 'A', 0x03}));
    // The arrival not yet reported may come first.
    TOutcome outcome;
    for (int i = 0; i < 2 && (i == 0 || outcome.Result); ++i) {
        auto next = WaitAsync(line);
        ASSERT_TRUE(EndsSoon(next));
        outcome = next.get();
    }
    EXPECT_FALSE(outcome.Result);
    EXPECT_TRUE(IsGone(outcome.Error)) << outcome.Error;
}

void PurgeDropsWhatArrived(TLine& line) {
    Arm(line);
    line.Send(TBytes(10, 'z'));
    ASSERT_TRUE(QueueReaches(line, 10));
    EXPECT_TRUE(line.Api->PurgeComm(line.Handle, PURGE_RXABORT | PURGE_RXCLEAR));
    EXPECT_EQ(Queued(line), 0u);
    line.Send({'n'});
    ASSERT_TRUE(QueueReaches(line, 1));
    EXPECT_EQ(ReadNow(line, 16), TBytes{'n'}) << "only what came after the purge";
}

struct TBehaviour {
    const char* Name;
    void (*Check)(TLine& line);
};

void PrintTo(const TBehaviour& behaviour, std::ostream* out) { *out << behaviour.Name; }

class DeviceBehaviour : public ::testing::TestWithParam<TBehaviour> {};

TEST_P(DeviceBehaviour, HoldsOnEveryKindOfLine) {
    const std::pair<const char*, std::function<std::unique_ptr<TLine>()>> kinds[] = {
        {"pty", [] { return std::unique_ptr<TLine>(new TPtyLine); }},
        {"socket", [] { return std::unique_ptr<TLine>(new TSocketLine); }},
    };
    for (const auto& [kind, open] : kinds) {
        SCOPED_TRACE(kind);
        auto line = open();
        ASSERT_NE(line->Handle, INVALID_HANDLE_VALUE);
        GetParam().Check(*line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DeviceBehaviour,
    ::testing::Values(TBehaviour{"MaskChangeEndsTheNextWaitAndAPendingOne", MaskChangeEndsTheNextWaitAndAPendingOne},
                      TBehaviour{"CancelEndsAWait", CancelEndsAWait},
                      TBehaviour{"CancelEndsABlockedWrite", CancelEndsABlockedWrite},
                      TBehaviour{"RoomMadeWakesTheWaiter", RoomMadeWakesTheWaiter},
                      TBehaviour{"GoneOnlyAfterTheLastByteIsRead", GoneOnlyAfterTheLastByteIsRead},
                      TBehaviour{"PurgeDropsWhatArrived", PurgeDropsWhatArrived}),
    [](const ::testing::TestParamInfo<TBehaviour>& behaviour) { return std::string(behaviour.param.Name); });

}  // namespace
}  // namespace qmx
