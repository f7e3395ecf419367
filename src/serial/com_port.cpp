// TComPort: opening and closing, the settings, the rings as callers see them.

#include "serial/com_port.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace qmx {
namespace {

constexpr DWORD kDefaultWriteTimeout = 60000;

// Markers of ApplySettings that leave a value unchanged.
constexpr std::int32_t kKeepBaud = 0;
constexpr std::uint16_t kKeepParity = 5;
constexpr std::uint8_t kKeepDataBits = 9;
constexpr std::uint8_t kKeepStopBits = 3;

// The flags word loses RTS control (RTS_CONTROL_DISABLE) and bits 16 to 31.
constexpr DWORD kDcbFlagsKept = 0xCFFF;
constexpr std::int32_t kSetCommStateFailed = -3002;

}  // namespace

TComPort::TComPort(std::uint16_t portNumber, TCommApi& api, std::string tracePath)
    : FApi(api), FPortNumber(portNumber), FTracePath(std::move(tracePath)) {
    if (FPortNumber != 0) Open();
}

TComPort::~TComPort() { Close(); }

char* TComPort::DeviceName(char* buffer, std::uint16_t portNumber) {
    std::snprintf(buffer, 16, "\\\\.\\COM%u", static_cast<unsigned>(portNumber));
    return buffer;
}

void TComPort::Open() {
    // Opened once for the port's life: a device opened again goes on in
    // the same section.
    if (!FTrace.IsOpen() && !FTracePath.empty()) FTrace.Open(FTracePath);
    FDeviceLost = false;
    FHandle = nullptr;
    FReadOverlapped = {};
    FComStat = {};
    FStopRequested = 0;
    FEventMask = 0;
    FWaitOverlapped = {};
    FWriteOverlapped = {};
    FOutRing.Free();
    FInRing.Free();
    try {
        char name[16];
        const THandle handle =
            FApi.CreateFileA(DeviceName(name, FPortNumber), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE || handle == nullptr) throw EOpenPortFail(FPortNumber);
        FHandle = handle;
        FApi.TraceTo(FHandle, FTrace.IsOpen() ? &FTrace : nullptr);
        // Without its events a worker could not wait and would spin: a port
        // the system cannot give them to is a port that cannot be opened.
        if (!FReadEvent.Create(TEvent::TReset::Manual) || !FAckEvent.Create(TEvent::TReset::Auto) ||
            !FWakeEvent.Create(TEvent::TReset::Auto) || !FWriteDoneEvent.Create(TEvent::TReset::Manual))
            throw EOpenPortFail(FPortNumber);
        FReadOverlapped.hEvent = FReadEvent.Handle();
        FWriteTimeout = kDefaultWriteTimeout;

        if (!FApi.SetupComm(FHandle, FInQueueSize, FOutQueueSize))
            throw ENotSupported(ENotSupported::TWhat::QueueSizes, FPortNumber);

        FInRing.Allocate(kInRingSize);
        FOutRing.Allocate(FOutQueueSize);

        FApi.GetCommState(FHandle, &FDcb);
        FOpen = true;
        ApplySettings(FBaudRate, FParity, FDataBits, FStopBits);
        UpdateLineErrors();
        RunThreads(true);
    } catch (...) {
        Release();
        throw;
    }
}

void TComPort::Close() {
    if (!FOpen) return;
    RunThreads(false);
    EndAbandonedIo();
    Release();
    // The line's last burst, which no verdict followed, goes with the port.
    FTrace.Flush();
}

void TComPort::Reopen() {
    Close();
    Open();
}

bool TComPort::NoteDeviceFailure(DWORD error) {
    // How Windows reports a device that has gone: a USB adapter pulled out
    // fails every call with one of these, and the I/O it had pending is
    // aborted. The POSIX layer maps a hang-up, EIO and ENXIO onto them.
    const bool gone = error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND ||
                      error == ERROR_ACCESS_DENIED || error == ERROR_OPERATION_ABORTED;
    if (!gone || StopRequested()) return false;
    FDeviceLost = true;
    return true;
}

void TComPort::EndAbandonedIo() {
    struct TOperation {
        std::atomic<bool>& Pending;
        TOverlapped& Record;
    };
    TOperation operations[] = {{FWaitPending, FWaitOverlapped},
                               {FReadPending, FReadOverlapped},
                               {FWritePending, FWriteOverlapped}};
    for (auto& operation : operations) {
        if (!operation.Pending.exchange(false)) continue;
        DWORD transferred = 0;
        FApi.CancelIoEx(FHandle, &operation.Record);
        FApi.GetOverlappedResult(FHandle, &operation.Record, &transferred, TRUE);
    }
}

void TComPort::Release() {
    for (TEvent* event : {&FAckEvent, &FWakeEvent, &FWriteDoneEvent, &FWaitEvent}) event->Close();
    FWaitOverlapped.hEvent = nullptr;
    FInRing.Free();
    FOutRing.Free();
    FReadEvent.Close();
    FReadOverlapped.hEvent = nullptr;
    if (FHandle != nullptr) FApi.CloseHandle(FHandle);
    FHandle = nullptr;
    FOpen = false;
}

void TComPort::SetBaudRate(std::int32_t baudRate) {
    FBaudRate = baudRate;
    ApplySettings(baudRate, kKeepParity, kKeepDataBits, kKeepStopBits);
}

void TComPort::SetDataBits(std::uint8_t dataBits) {
    FDataBits = dataBits;
    ApplySettings(kKeepBaud, kKeepParity, dataBits, kKeepStopBits);
}

void TComPort::SetStopBits(std::uint8_t stopBits) {
    FStopBits = stopBits;
    ApplySettings(kKeepBaud, kKeepParity, kKeepDataBits, stopBits);
}

void TComPort::SetParity(std::uint8_t parity) {
    FParity = parity;
    ApplySettings(kKeepBaud, parity, kKeepDataBits, kKeepStopBits);
}

void TComPort::ApplySettings(std::int32_t baudRate, std::uint16_t parity, std::uint8_t dataBits,
                             std::uint8_t stopBits) {
    if (!FOpen) return;
    std::int32_t result = 0;
    {
        TLockGuard guard(FPortLock);
        FApi.GetCommState(FHandle, &FDcb);
        if (stopBits == 0) stopBits = 1;
        if (stopBits >= 4) stopBits = 2;
        if (baudRate != kKeepBaud) FDcb.BaudRate = static_cast<DWORD>(baudRate);
        if (parity != kKeepParity) FDcb.Parity = static_cast<std::uint8_t>(parity);
        if (dataBits != kKeepDataBits) FDcb.ByteSize = dataBits;
        // One and a half stop bits cannot be chosen.
        if (stopBits != kKeepStopBits) FDcb.StopBits = stopBits == 1 ? ONESTOPBIT : TWOSTOPBITS;
        SetDcbFlags(FDcb, DcbFlags(FDcb) & kDcbFlagsKept);
        result = FApi.SetCommState(FHandle, &FDcb) ? 0 : kSetCommStateFailed;
    }
    if (result == kSetCommStateFailed) throw ENotSupported(ENotSupported::TWhat::LineSettings, FPortNumber);
}

DWORD TComPort::GetLineErrors(TComStat& stat) {
    DWORD errors = 0;
    if (!FApi.ClearCommError(FHandle, &errors, &stat)) {
        NoteDeviceFailure(FApi.GetLastError());
        errors = 0;
    }
    // What the writer has not yet handed to the driver, not the driver's queue.
    stat.cbOutQue = PendingOutputCount();
    return errors;
}

void TComPort::UpdateLineErrors() {
    TLockGuard guard(FPortLock);
    GetLineErrors(FComStat);
}

void TComPort::CheckOpen() const {
    if (!FOpen) throw EPortNotOpen(FPortNumber);
}

std::uint16_t TComPort::UnreadInputCount() {
    TLockGuard guard(FPortLock);
    return FInRing.Count();
}

std::uint16_t TComPort::PendingOutputCount() {
    TLockGuard guard(FPortLock);
    return FOutRing.Count();
}

std::uint8_t TComPort::PeekInput(std::uint16_t position) {
    // Position 0 and a port without rings have no byte to show.
    if (position == 0 || !FInRing.Allocated() || position > UnreadInputCount()) throw EBufferIsEmpty(FPortNumber);
    return FInRing.Peek(static_cast<std::uint16_t>(position - 1));
}

std::uint8_t TComPort::GetChar() {
    CheckOpen();
    TLockGuard guard(FPortLock);
    const std::uint8_t byte = PeekInput(1);
    const bool wasFull = FInRing.Full;
    FInRing.Taken(1);
    if (wasFull) RequestRead();
    return byte;
}

std::int32_t TComPort::PutBlock(const void* data, std::uint16_t count) {
    CheckOpen();
    if (count == 0) return 0;
    TLockGuard guard(FPortLock);
    GetLineErrors(FComStat);
    const auto free = static_cast<std::uint16_t>(FOutQueueSize - FComStat.cbOutQue);
    if (count > free) throw EOutputBufferTooSmall(FPortNumber);
    return Enqueue(data, count);
}

std::int32_t TComPort::Enqueue(const void* data, std::uint16_t count) {
    {
        TLockGuard guard(FPortLock);
        FOutRing.Put(static_cast<const std::uint8_t*>(data), count);
    }
    FWakeEvent.Set();
    return count;
}

void TComPort::Purge() {
    CheckOpen();
    TLockGuard guard(FPortLock);
    FApi.PurgeComm(FHandle, PURGE_RXABORT | PURGE_RXCLEAR);
    const bool wasFull = FInRing.Full;
    FInRing.Clear();
    if (wasFull) RequestRead();
}

void TComPort::EscapeComm(DWORD function) {
    if (!FApi.EscapeCommFunction(FHandle, function)) throw ESerialIO();
}

void TComPort::DataArrived(std::uint16_t /*count*/) {}

}  // namespace qmx
