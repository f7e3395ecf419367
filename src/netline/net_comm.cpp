#include "netline/net_comm.h"

#include "netline/rfc2217_comm.h"
#include "serial/serial_errors.h"
#include "serial/wire_trace.h"

namespace qmx::net {
namespace {

// As the Win32 calls keep it: each thread its own.
thread_local DWORD tLastError = ERROR_SUCCESS;

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

void Complete(TOverlapped* overlapped, DWORD error, DWORD transferred) {
    if (overlapped == nullptr) return;
    overlapped->Internal = error;
    overlapped->InternalHigh = transferred;
}

}  // namespace

std::unique_ptr<TNetComm> TNetComm::For(const TNetAddress& address) {
    if (address.Kind == TNetAddress::TKind::Rfc2217) return std::make_unique<TRfc2217Comm>(address);
    return std::make_unique<TNetComm>(address);
}

TNetComm::TNetComm(TNetAddress address) : FAddress(std::move(address)) {}

TNetComm::~TNetComm() = default;

BOOL TNetComm::FailWith(DWORD error) {
    tLastError = error;
    return FALSE;
}

TNetDevice* TNetComm::Device(THandle handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<TNetDevice*>(handle);
}

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
    return device.release();
}

BOOL TNetComm::SetupComm(THandle handle, DWORD inQueue, DWORD) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    return device->Setup(inQueue, error) ? TRUE : FailWith(error);
}

BOOL TNetComm::GetCommState(THandle handle, TDcb* dcb) {
    auto* device = Device(handle);
    if (device == nullptr || dcb == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    device->GetState(*dcb);
    return TRUE;
}

BOOL TNetComm::SetCommState(THandle handle, TDcb* dcb) {
    auto* device = Device(handle);
    if (device == nullptr || dcb == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    device->StoreState(*dcb);
    return TRUE;
}

BOOL TNetComm::SetCommMask(THandle handle, DWORD mask) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    device->SetMask(mask);
    return TRUE;
}

BOOL TNetComm::SetCommTimeouts(THandle handle, TCommTimeouts* timeouts) {
    auto* device = Device(handle);
    if (device == nullptr || timeouts == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    device->SetTimeouts(*timeouts);
    return TRUE;
}

BOOL TNetComm::WaitCommEvent(THandle handle, DWORD* mask, TOverlapped* overlapped) {
    auto* device = Device(handle);
    if (device == nullptr || mask == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    const bool ok = device->WaitEvent(*mask, overlapped, error);
    Complete(overlapped, ok ? ERROR_SUCCESS : error, 0);
    return ok ? TRUE : FailWith(error);
}

BOOL TNetComm::ReadFile(THandle handle, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    DWORD got = 0, error = ERROR_SUCCESS;
    const bool ok = device->Read(buffer, count, got, error);
    if (read != nullptr) *read = got;
    Complete(overlapped, ok ? ERROR_SUCCESS : error, got);
    return ok ? TRUE : FailWith(error);
}

BOOL TNetComm::WriteFile(THandle handle, const void* buffer, DWORD count, DWORD* written, TOverlapped* overlapped) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    FlushNotes();
    DWORD put = 0, error = ERROR_SUCCESS;
    const bool ok = device->Write(buffer, count, put, error);
    if (written != nullptr) *written = put;
    Complete(overlapped, ok ? ERROR_SUCCESS : error, put);
    return ok ? TRUE : FailWith(error);
}

BOOL TNetComm::GetOverlappedResult(THandle handle, TOverlapped* overlapped, DWORD* transferred, BOOL) {
    // Every operation has completed already; its outcome stands in the record.
    if (Device(handle) == nullptr || overlapped == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    const auto error = static_cast<DWORD>(overlapped->Internal);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL TNetComm::ClearCommError(THandle handle, DWORD* errors, TComStat* stat) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    TComStat status{};
    device->Status(status);
    if (errors != nullptr) *errors = 0;
    if (stat != nullptr) *stat = status;
    return TRUE;
}

BOOL TNetComm::PurgeComm(THandle handle, DWORD flags) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    device->Purge(flags);
    return TRUE;
}

BOOL TNetComm::EscapeCommFunction(THandle handle, DWORD) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    return device->Gone(error) ? FailWith(error) : TRUE;
}

BOOL TNetComm::CancelIoEx(THandle handle, TOverlapped* overlapped) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    return device->Cancel(overlapped) ? TRUE : FailWith(ERROR_NOT_FOUND);
}

BOOL TNetComm::CloseHandle(THandle handle) {
    auto* device = Device(handle);
    if (device == nullptr) return FailWith(ERROR_INVALID_HANDLE);
    delete device;
    return TRUE;
}

DWORD TNetComm::GetLastError() { return tLastError; }

void TNetComm::Sleep(DWORD milliseconds) { PlatformComm().Sleep(milliseconds); }

DWORD TNetComm::Milliseconds() { return PlatformComm().Milliseconds(); }

std::string TNetComm::LineName(std::uint16_t) { return FAddress.Text(); }

void TNetComm::TraceTo(THandle, TWireTrace* trace) {
    TLockGuard guard(FLock);
    FTrace = trace;
}

}  // namespace qmx::net
