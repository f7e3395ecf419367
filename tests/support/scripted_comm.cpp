#include "support/scripted_comm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/event.h"

namespace qmx::test {
namespace {

thread_local DWORD tLastError = ERROR_SUCCESS;

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string Join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : ",") + part;
    return text;
}

std::string N(long long value) { return std::to_string(value); }

// The event an overlapped record carries: on POSIX, the port's event itself.
TEvent& EventOf(const TOverlapped* record) { return *static_cast<TEvent*>(record->hEvent); }

}  // namespace

TScriptedComm::TScriptedComm() {
    Dcb.DCBlength = sizeof Dcb;
    Dcb.BaudRate = 1200;
    Dcb.ByteSize = 8;
    Dcb.Parity = NOPARITY;
    Dcb.StopBits = ONESTOPBIT;
    // A driver that had RTS handshaking and a few high bits set.
    SetDcbFlags(Dcb, kDcbBinary | kDcbRtsControlHandshake | 0x00FF0000u);
}

TScriptedComm::~TScriptedComm() = default;

void TScriptedComm::Next(const std::string& call, TOutcome outcome) {
    std::lock_guard lock(FMutex);
    FNext[call].push_back(outcome);
}

void TScriptedComm::Always(const std::string& call, TOutcome outcome) {
    std::lock_guard lock(FMutex);
    FAlways[call] = outcome;
}

TScriptedComm::TOutcome TScriptedComm::Take(const std::string& name, const std::string& arguments) {
    FCalls.push_back(name + "(" + arguments + ")");
    if (auto next = FNext.find(name); next != FNext.end() && !next->second.empty()) {
        const TOutcome outcome = next->second.front();
        next->second.pop_front();
        return outcome;
    }
    if (auto always = FAlways.find(name); always != FAlways.end()) return always->second;
    return {};
}

BOOL TScriptedComm::Finish(const TOutcome& outcome) {
    if (outcome.Result == FALSE) tLastError = outcome.Error;
    return outcome.Result;
}

void TScriptedComm::CompleteWaitLocked(DWORD mask) {
    *FWaitMask = mask;
    FWaitMask = nullptr;
    EventOf(FWaitRecord).Set();
}

void TScriptedComm::Receive(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(FMutex);
    for (auto byte : bytes)
        if (FDriverInput.size() < DriverQueueLimit) FDriverInput.push_back(byte);
    if (FWaitMask != nullptr && (FMask & EV_RXCHAR) != 0)
        CompleteWaitLocked(EV_RXCHAR);
    else
        FRxArrived = true;
}

void TScriptedComm::Signal(DWORD mask) {
    std::lock_guard lock(FMutex);
    if (FWaitMask != nullptr) CompleteWaitLocked(mask);
}

void TScriptedComm::HoldWrites(bool hold) {
    std::lock_guard lock(FMutex);
    FHoldWrites = hold;
}

void TScriptedComm::ReleaseWrites() {
    std::lock_guard lock(FMutex);
    for (TOverlapped* record : FHeldWrites) EventOf(record).Set();
    FHeldWrites.clear();
}

std::vector<std::uint8_t> TScriptedComm::Sent() {
    std::lock_guard lock(FMutex);
    return FSent;
}

std::vector<std::string> TScriptedComm::Calls() {
    std::lock_guard lock(FMutex);
    return FCalls;
}

std::vector<std::string> TScriptedComm::CallsNamed(std::initializer_list<const char*> names) {
    std::lock_guard lock(FMutex);
    std::vector<std::string> calls;
    for (const auto& call : FCalls)
        for (const char* name : names)
            if (call.rfind(std::string(name) + "(", 0) == 0) calls.push_back(call);
    return calls;
}

int TScriptedComm::CountOf(const std::string& name) {
    std::lock_guard lock(FMutex);
    return static_cast<int>(std::count_if(FCalls.begin(), FCalls.end(), [&](const std::string& call) {
        return call.rfind(name + "(", 0) == 0;
    }));
}

void TScriptedComm::ClearCalls() {
    std::lock_guard lock(FMutex);
    FCalls.clear();
}

int TScriptedComm::OpenHandles() {
    std::lock_guard lock(FMutex);
    return FDeviceOpen ? 1 : 0;
}

THandle TScriptedComm::CreateFileA(const char* name, DWORD access, DWORD share, void*, DWORD disposition,
                                   DWORD flags, THandle) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome =
        Take("CreateFileA", Join({name, Hex(access), N(share), N(disposition), Hex(flags)}));
    if (outcome.Result == FALSE) {
        tLastError = outcome.Error;
        return INVALID_HANDLE_VALUE;
    }
    FDeviceOpen = true;
    return DeviceHandle();
}

BOOL TScriptedComm::SetupComm(THandle, DWORD inQueue, DWORD outQueue) {
    std::lock_guard lock(FMutex);
    return Finish(Take("SetupComm", Join({N(inQueue), N(outQueue)})));
}

BOOL TScriptedComm::GetCommState(THandle, TDcb* dcb) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("GetCommState", "");
    if (outcome.Result != FALSE) *dcb = Dcb;
    return Finish(outcome);
}

BOOL TScriptedComm::SetCommState(THandle, TDcb* dcb) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("SetCommState", Join({N(dcb->BaudRate), N(dcb->ByteSize), N(dcb->Parity),
                                                        N(dcb->StopBits), Hex(DcbFlags(*dcb))}));
    if (outcome.Result != FALSE) Dcb = *dcb;
    return Finish(outcome);
}

BOOL TScriptedComm::SetCommMask(THandle, DWORD mask) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("SetCommMask", Hex(mask));
    FMask = mask;
    if (FWaitMask != nullptr) {
        if (FAbortWaitOnMaskChange) {
            FWaitAborted = true;
            FWaitMask = nullptr;
            EventOf(FWaitRecord).Set();
        } else {
            CompleteWaitLocked(0);
        }
    }
    return Finish(outcome);
}

BOOL TScriptedComm::SetCommTimeouts(THandle, TCommTimeouts* t) {
    std::lock_guard lock(FMutex);
    return Finish(Take("SetCommTimeouts",
                       Join({Hex(t->ReadIntervalTimeout), N(t->ReadTotalTimeoutMultiplier),
                             N(t->ReadTotalTimeoutConstant), N(t->WriteTotalTimeoutMultiplier),
                             N(t->WriteTotalTimeoutConstant)})));
}

BOOL TScriptedComm::WaitCommEvent(THandle, DWORD* mask, TOverlapped* overlapped) {
    std::lock_guard lock(FMutex);
    TOutcome outcome = Take("WaitCommEvent", "");
    if (outcome.Result == FALSE && !outcome.Pending) return Finish(outcome);
    FWaitRecord = overlapped;
    FWaitMask = mask;
    EventOf(overlapped).Reset();
    // Bytes that arrived while no wait was pending complete it at once; as
    // on Windows, bytes already reported do not.
    if (FRxArrived && (FMask & EV_RXCHAR) != 0) {
        FRxArrived = false;
        CompleteWaitLocked(EV_RXCHAR);
    }
    tLastError = ERROR_IO_PENDING;
    return FALSE;
}

BOOL TScriptedComm::ReadFile(THandle, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("ReadFile", N(count));
    if (outcome.Result == FALSE && !outcome.Pending) return Finish(outcome);
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(count, FDriverInput.size()));
    std::copy_n(FDriverInput.begin(), n, static_cast<std::uint8_t*>(buffer));
    FDriverInput.erase(FDriverInput.begin(), FDriverInput.begin() + n);
    if (outcome.Pending) {
        FCompleted[overlapped] = n;
        EventOf(overlapped).Set();
        tLastError = ERROR_IO_PENDING;
        return FALSE;
    }
    *read = n;
    return TRUE;
}

BOOL TScriptedComm::WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                              TOverlapped* overlapped) {
    const BOOL result = WriteLocked(device, buffer, count, written, overlapped);
    if (OnWrite) OnWrite();
    return result;
}

BOOL TScriptedComm::WriteLocked(THandle, const void* buffer, DWORD count, DWORD* written,
                                TOverlapped* overlapped) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("WriteFile", N(count));
    if (outcome.Result == FALSE && !outcome.Pending) return Finish(outcome);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    FSent.insert(FSent.end(), bytes, bytes + count);
    WrittenSpans.push_back(count);
    if (outcome.Pending) {
        FCompleted[overlapped] = count;
        EventOf(overlapped).Reset();
        if (FHoldWrites)
            FHeldWrites.push_back(overlapped);
        else
            EventOf(overlapped).Set();
        tLastError = ERROR_IO_PENDING;
        return FALSE;
    }
    *written = count;
    return TRUE;
}

BOOL TScriptedComm::GetOverlappedResult(THandle, TOverlapped* overlapped, DWORD* transferred, BOOL wait) {
    TOutcome outcome;
    bool isWait = false;
    {
        std::lock_guard lock(FMutex);
        outcome = Take("GetOverlappedResult", N(wait));
        isWait = overlapped == FWaitRecord;
    }
    if (outcome.Result == FALSE) return Finish(outcome);
    const bool held = [&] {
        std::lock_guard lock(FMutex);
        return std::find(FHeldWrites.begin(), FHeldWrites.end(), overlapped) != FHeldWrites.end();
    }();
    if (held && !wait) {
        tLastError = ERROR_IO_INCOMPLETE;
        return FALSE;
    }
    if (wait) EventOf(overlapped).Wait(kWaitForever);
    std::lock_guard lock(FMutex);
    if (isWait && FWaitAborted) {
        FWaitAborted = false;
        tLastError = ERROR_OPERATION_ABORTED;
        return FALSE;
    }
    auto completed = FCompleted.find(overlapped);
    if (completed == FCompleted.end() && !isWait) {
        tLastError = ERROR_OPERATION_ABORTED;  // cancelled
        return FALSE;
    }
    if (transferred != nullptr) *transferred = completed != FCompleted.end() ? completed->second : 0;
    if (completed != FCompleted.end()) FCompleted.erase(completed);
    return TRUE;
}

BOOL TScriptedComm::ClearCommError(THandle, DWORD* errors, TComStat* stat) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("ClearCommError", "");
    if (outcome.Result == FALSE) return Finish(outcome);
    if (errors != nullptr) *errors = 0;
    if (stat != nullptr) *stat = TComStat{0, static_cast<DWORD>(FDriverInput.size()), 0};
    return TRUE;
}

BOOL TScriptedComm::PurgeComm(THandle, DWORD flags) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("PurgeComm", Hex(flags));
    if ((flags & PURGE_RXCLEAR) != 0) FDriverInput.clear();
    return Finish(outcome);
}

BOOL TScriptedComm::EscapeCommFunction(THandle device, DWORD function) {
    std::lock_guard lock(FMutex);
    const TOutcome outcome = Take("EscapeCommFunction", N(function));
    if (device != DeviceHandle()) {
        tLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return Finish(outcome);
}

BOOL TScriptedComm::CancelIoEx(THandle, TOverlapped* overlapped) {
    std::lock_guard lock(FMutex);
    Take("CancelIoEx", "");
    if (auto held = std::find(FHeldWrites.begin(), FHeldWrites.end(), overlapped); held != FHeldWrites.end()) {
        FHeldWrites.erase(held);
        FCompleted.erase(overlapped);
        EventOf(overlapped).Set();
        return TRUE;
    }
    if (overlapped == FWaitRecord && FWaitMask != nullptr) {
        FWaitAborted = true;
        FWaitMask = nullptr;
        EventOf(overlapped).Set();
        return TRUE;
    }
    tLastError = ERROR_NOT_FOUND;
    return FALSE;
}

BOOL TScriptedComm::CloseHandle(THandle handle) {
    std::lock_guard lock(FMutex);
    if (handle != DeviceHandle()) {
        Take("CloseHandle", "unknown");
        tLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    Take("CloseHandle", "device");
    FDeviceOpen = false;
    return TRUE;
}

DWORD TScriptedComm::GetLastError() { return tLastError; }

std::vector<DWORD> TScriptedComm::TakeSleepsOfThisThread() {
    std::lock_guard lock(FMutex);
    return std::exchange(FSleeps[std::this_thread::get_id()], {});
}

DWORD TScriptedComm::Milliseconds() {
    return InstantSleep ? FSleptClock.load() : PlatformComm().Milliseconds();
}

void TScriptedComm::Sleep(DWORD milliseconds) {
    if (RecordSleeps) {
        std::lock_guard lock(FMutex);
        FSleeps[std::this_thread::get_id()].push_back(milliseconds);
    }
    if (!InstantSleep) {
        PlatformComm().Sleep(milliseconds);
        return;
    }
    FSleptClock += milliseconds;
    for (int i = 0; i < 100; ++i) {
        {
            std::lock_guard lock(FMutex);
            if (FDriverInput.empty()) break;
        }
        PlatformComm().Sleep(1);
    }
    PlatformComm().Sleep(1);
}

}  // namespace qmx::test
