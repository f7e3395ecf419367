#include "netline/net_device.h"

#include <algorithm>
#include <chrono>

#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

constexpr std::size_t kReceiverStack = 64 * 1024;
constexpr std::size_t kReadChunk = 1024;
// A write time-out of 0 means none, as on Windows; a lost server is then
// still found out by the socket's own keep-alive.
constexpr std::chrono::milliseconds kLongestWrite{24 * 3600 * 1000};

TDcb FreshState() {
    TDcb dcb{};
    dcb.DCBlength = sizeof dcb;
    return dcb;
}

}  // namespace

TNetDevice::TNetDevice(TSocket socket, std::unique_ptr<TNetCodec> codec)
    : TCommDevice(FreshState()), FSocket(std::move(socket)), FCodec(std::move(codec)) {}

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

void TNetDevice::FillLocked() {
    TByteRing& queue = Queue();
    std::size_t stored = 0;
    while (stored < FWaiting.size() && queue.Room() > 0) {
        const auto span = static_cast<std::uint16_t>(std::min<std::size_t>(queue.FreeSpan(), FWaiting.size() - stored));
        std::copy_n(FWaiting.begin() + static_cast<std::ptrdiff_t>(stored), span, queue.AtHead());
        queue.Stored(span);
        stored += span;
    }
    FWaiting.erase(FWaiting.begin(), FWaiting.begin() + static_cast<std::ptrdiff_t>(stored));
    if (stored > 0) NoteArrivalLocked();
}

void TNetDevice::Block(bool) { FChanged.Wait(kWaitForever); }

void TNetDevice::Wake() { FChanged.Set(); }

void TNetDevice::RoomMade() { FRoom.Set(); }

void TNetDevice::DiscardLocked(DWORD flags) {
    if ((flags & PURGE_RXCLEAR) != 0) FWaiting.clear();
}

void TNetDevice::LoseConnection(int socketError) { Lose(Win32ErrorFromSocketError(socketError)); }

void TNetDevice::Receive() {
    while (!FStopping && AwaitRoom() && TakeInput()) {
    }
}

bool TNetDevice::AwaitRoom() {
    // A full queue leaves the bytes with the server: TCP holds it back.
    for (;;) {
        {
            TLockGuard guard(Lock());
            FillLocked();
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
        if (!FStopping) LoseConnection(error);
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
        TLockGuard guard(Lock());
        FWaiting.insert(FWaiting.end(), data.begin(), data.end());
        FillLocked();
    }
    Wake();
    return true;
}

bool TNetDevice::Send(const std::uint8_t* data, DWORD count, std::uint64_t limitMs,
                      const std::function<bool()>& cancelled, DWORD& written, DWORD& error) {
    std::vector<std::uint8_t> wire;
    FCodec->Encode(data, count, wire);
    if (!SendWithin(wire, limitMs, cancelled, error)) return false;
    written = count;
    return true;
}

bool TNetDevice::SendWire(const std::vector<std::uint8_t>& wire, DWORD& error) {
    if (Gone(error)) return false;
    return SendWithin(wire, WriteLimitMs(wire.size()), {}, error);
}

bool TNetDevice::SendWithin(const std::vector<std::uint8_t>& wire, std::uint64_t limitMs,
                            const std::function<bool()>& cancelled, DWORD& error) {
    const std::chrono::milliseconds limit = limitMs != 0 ? std::chrono::milliseconds(limitMs) : kLongestWrite;
    TLockGuard guard(FSendLock);
    int socketError = 0;
    if (FSocket.SendAll(wire.data(), wire.size(), limit, socketError, cancelled)) return true;
    // A write that timed out says the server is stuck, not gone.
    if (socketError != kTimedOut && socketError != kCancelled) LoseConnection(socketError);
    error = Win32ErrorFromSocketError(socketError);
    return false;
}

}  // namespace qmx::net
