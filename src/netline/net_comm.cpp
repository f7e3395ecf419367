#include "netline/net_comm.h"

#include "netline/rfc2217_comm.h"
#include "serial/serial_errors.h"
#include "serial/wire_trace.h"

namespace qmx::net {
namespace {

// The line's bytes as they are.
class TRawCodec final : public TNetCodec {
public:
    void Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>&) override {
        data.insert(data.end(), bytes, bytes + count);
    }
    void Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) override {
        wire.insert(wire.end(), data, data + count);
    }
};

}  // namespace

std::unique_ptr<TNetComm> TNetComm::For(const TNetAddress& address) {
    if (address.Kind == TNetAddress::TKind::Rfc2217) return std::make_unique<TRfc2217Comm>(address);
    return std::make_unique<TNetComm>(address);
}

TNetComm::TNetComm(TNetAddress address) : FAddress(std::move(address)) {}

TNetComm::~TNetComm() = default;

TNetDevice* TNetComm::Device(THandle handle) { return static_cast<TNetDevice*>(DeviceOf(handle)); }

void TNetComm::Note(const std::string& text) {
    TLockGuard guard(FLock);
    FNotes.push_back(text);
}

void TNetComm::FlushNotes() {
    std::vector<std::string> notes;
    TWireTrace* trace = nullptr;
    {
        TLockGuard guard(FLock);
        if (FNotes.empty()) return;
        notes.swap(FNotes);
        trace = FTrace;
    }
    if (trace == nullptr) return;
    for (const auto& note : notes) trace->Note(FAddress.Text() + ": " + note);
}

std::unique_ptr<TNetCodec> TNetComm::MakeCodec() { return std::make_unique<TRawCodec>(); }

void TNetComm::Begin(TNetDevice&) {
    Note("raw TCP: the server's own line settings hold; 7E1 and RTS are neither set nor checked from here");
}

THandle TNetComm::CreateFileA(const char*, DWORD, DWORD, void*, DWORD, DWORD, THandle) {
    int error = 0;
    std::string problem;
    FReconnecting = FConnectedBefore;
    const auto timeout = FReconnecting ? kReconnectTimeout : kConnectTimeout;
    TSocket socket = TSocket::Connect(FAddress.Host, FAddress.Port, timeout, error, problem);
    if (!socket.Valid()) throw ESerialIO(problem, TSerialFailure::Absent);
    auto device = std::make_unique<TNetDevice>(std::move(socket), MakeCodec());
    if (!device->Start()) throw ESerialIO("cannot start the connection's receiving thread");
    Note("connected to " + device->Peer());
    Begin(*device);
    FConnectedBefore = true;
    return HandleOf(device.release());
}

BOOL TNetComm::WriteFile(THandle handle, const void* buffer, DWORD count, DWORD* written, TOverlapped* overlapped) {
    FlushNotes();
    return TDeviceComm::WriteFile(handle, buffer, count, written, overlapped);
}

void TNetComm::Sleep(DWORD milliseconds) { PlatformComm().Sleep(milliseconds); }

DWORD TNetComm::Milliseconds() { return PlatformComm().Milliseconds(); }

std::string TNetComm::LineName(std::uint16_t) { return FAddress.Text(); }

void TNetComm::TraceTo(THandle, TWireTrace* trace) {
    TLockGuard guard(FLock);
    FTrace = trace;
}

}  // namespace qmx::net
