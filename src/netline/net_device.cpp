#include "netline/net_device.h"

#include <algorithm>
#include <chrono>

#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

constexpr std::size_t kDefaultQueue = 4096;
constexpr std::size_t kReceiverStack = 64 * 1024;
constexpr std::size_t kReadChunk = 1024;
// A write time-out of 0 means none, as on Windows; a lost server is then
// still found out by the socket's own keep-alive.
constexpr std::chrono::milliseconds kLongestWrite{24 * 3600 * 1000};

}  // namespace

TNetDevice::TNetDevice(TSocket socket, std::unique_ptr<TNetCodec> codec)
    : FSocket(std::move(socket)), FCodec(std::move(codec)) {
    FQueue.Allocate(kDefaultQueue);
    FDcb.DCBlength = sizeof FDcb;
}

TNetDevice::~TNetDevice() {
    FStopping = true;
    FSocket.Interrupt();
    FRoom.Set();
    if (FReceiver.Started()) FReceiverDone.Wait(kWaitForever);
    FReceiver.Release();
}

bool TNetDevice::Start() {
    if (!FChanged.Create(TEvent::TReset::Auto) || !FRoom.Create(TEvent::TReset::Auto) ||
        !FReceiverDone.Create(TEvent::TReset::Manual))
        return false;
    return FReceiver.Start(&TNetDevice::ReceiverMain, this, kReceiverStack);
}

void TNetDevice::ReceiverMain(void* device) {
    auto* self = static_cast<TNetDevice*>(device);
    self->Receive();
    self->FReceiverDone.Set();
}

void TNetDevice::StoreLocked() {
    std::size_t stored = 0;
    while (stored < FWaiting.size() && FQueue.Room() > 0) {
        const auto span = static_cast<std::uint16_t>(std::min<std::size_t>(FQueue.FreeSpan(), FWaiting.size() - stored));
        std::copy_n(FWaiting.begin() + static_cast<std::ptrdiff_t>(stored), span, FQueue.AtHead());
        FQueue.Stored(span);
        stored += span;
    }
    FWaiting.erase(FWaiting.begin(), FWaiting.begin() + static_cast<std::ptrdiff_t>(stored));
    if (stored > 0) FRxArrived = true;
}

void TNetDevice::Lose(int socketError) {
    {
        TLockGuard guard(FLock);
        if (!FGone) FGoneError = Win32ErrorFromSocketError(socketError);
        FGone = true;
    }
    FChanged.Set();
}

void TNetDevice::Receive() {
    while (!FStopping && AwaitRoom() && TakeInput()) {
    }
}

bool TNetDevice::AwaitRoom() {
    // A full queue leaves the bytes with the server: TCP holds it back.
    for (;;) {
        {
            TLockGuard guard(FLock);
            StoreLocked();
            if (FWaiting.empty()) return true;
        }
        FRoom.Wait(kWaitForever);
        if (FStopping) return false;
    }
}

bool TNetDevice::TakeInput() {
    if (!FSocket.AwaitInput()) return false;
    std::uint8_t chunk[kReadChunk];
    int error = 0;
    const long got = FSocket.Receive(chunk, sizeof chunk, error);
    if (got == 0) return true;
    if (got < 0) {
        if (!FStopping) Lose(error);
        return false;
    }
    std::vector<std::uint8_t> data, reply;
    FCodec->Decode(chunk, static_cast<std::size_t>(got), data, reply);
    if (!reply.empty()) {
        DWORD ignored = 0;
        SendWire(reply, ignored);
    }
    if (data.empty()) return true;
    {
        TLockGuard guard(FLock);
        FWaiting.insert(FWaiting.end(), data.begin(), data.end());
        StoreLocked();
    }
    FChanged.Set();
    return true;
}

bool TNetDevice::Setup(DWORD inQueue, DWORD& error) {
    if (inQueue == 0 || inQueue > 0xFFFF) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    TLockGuard guard(FLock);
    FQueue.Allocate(static_cast<std::uint16_t>(inQueue));
    return true;
}

void TNetDevice::GetState(TDcb& dcb) {
    TLockGuard guard(FLock);
    dcb = FDcb;
}

void TNetDevice::StoreState(const TDcb& dcb) {
    TLockGuard guard(FLock);
    FDcb = dcb;
}

void TNetDevice::SetMask(DWORD mask) {
    {
        TLockGuard guard(FLock);
        FMask = mask;
        ++FMaskGeneration;
    }
    FChanged.Set();
}

void TNetDevice::SetTimeouts(const TCommTimeouts& timeouts) {
    TLockGuard guard(FLock);
    FTimeouts = timeouts;
}

bool TNetDevice::WaitEvent(DWORD& mask, const TOverlapped* overlapped, DWORD& error) {
    TLockGuard guard(FLock);
    const std::uint64_t cancels = FWaitCancels;
    if (FMask == 0) {
        FSeenGeneration = FMaskGeneration;
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    FWaitActive = true;
    FWaitingOn = overlapped;
    // Cleared on every way out, with the lock held (it is declared later).
    struct TClear {
        TNetDevice& Device;
        ~TClear() {
            Device.FWaitActive = false;
            Device.FWaitingOn = nullptr;
            Device.FSeenGeneration = Device.FMaskGeneration;
        }
    } clear{*this};
    for (;;) {
        if (FMaskGeneration != FSeenGeneration) {
            mask = 0;
            return true;
        }
        if (FWaitCancels != cancels) {
            error = ERROR_OPERATION_ABORTED;
            return false;
        }
        if (FRxArrived && (FMask & EV_RXCHAR) != 0) {
            FRxArrived = false;
            mask = EV_RXCHAR;
            return true;
        }
        if (FGone) {
            error = FGoneError;
            return false;
        }
        // The event remembers a Set made while the lock is left.
        FLock.Leave();
        FChanged.Wait(kWaitForever);
        FLock.Enter();
    }
}

bool TNetDevice::Read(void* buffer, DWORD count, DWORD& read, DWORD& error) {
    TLockGuard guard(FLock);
    if (FQueue.Count() == 0 && FGone) {
        error = FGoneError;
        read = 0;
        return false;
    }
    read = FQueue.Get(static_cast<std::uint8_t*>(buffer), static_cast<std::uint16_t>(std::min<DWORD>(count, 0xFFFF)));
    if (read > 0 && !FWaiting.empty()) FRoom.Set();
    return true;
}

bool TNetDevice::Write(const void* buffer, DWORD count, DWORD& written, DWORD& error) {
    std::vector<std::uint8_t> wire;
    FCodec->Encode(static_cast<const std::uint8_t*>(buffer), count, wire);
    written = 0;
    if (!SendWire(wire, error)) return false;
    written = count;
    return true;
}

bool TNetDevice::SendWire(const std::vector<std::uint8_t>& wire, DWORD& error) {
    std::chrono::milliseconds limit = kLongestWrite;
    {
        TLockGuard guard(FLock);
        if (FGone) {
            error = FGoneError;
            return false;
        }
        const std::uint64_t total =
            std::uint64_t{FTimeouts.WriteTotalTimeoutMultiplier} * wire.size() + FTimeouts.WriteTotalTimeoutConstant;
        if (total != 0) limit = std::chrono::milliseconds(total);
    }
    TLockGuard guard(FSendLock);
    int socketError = 0;
    if (FSocket.SendAll(wire.data(), wire.size(), limit, socketError)) return true;
    // A write that timed out says the server is stuck, not gone.
    if (socketError != kTimedOut && socketError != kCancelled) Lose(socketError);
    error = Win32ErrorFromSocketError(socketError);
    return false;
}

void TNetDevice::Status(TComStat& stat) {
    TLockGuard guard(FLock);
    // Field by field: Windows' COMSTAT opens with bit fields.
    stat = TComStat{};
    stat.cbInQue = FQueue.Count();
}

void TNetDevice::Purge(DWORD flags) {
    if ((flags & PURGE_RXCLEAR) == 0) return;
    {
        TLockGuard guard(FLock);
        FQueue.Clear();
        FWaiting.clear();
        FRxArrived = false;
    }
    FRoom.Set();
    FChanged.Set();
}

bool TNetDevice::Cancel(const TOverlapped* overlapped) {
    bool wait = false;
    {
        TLockGuard guard(FLock);
        wait = FWaitActive && (overlapped == nullptr || overlapped == FWaitingOn);
        if (wait) ++FWaitCancels;
    }
    if (wait) FChanged.Set();
    return wait;
}

bool TNetDevice::Gone(DWORD& error) {
    TLockGuard guard(FLock);
    if (FGone) error = FGoneError;
    return FGone;
}

}  // namespace qmx::net
