#include "serial/comm_device.h"

#include <algorithm>

namespace qmx {
namespace {

constexpr std::uint16_t kDefaultQueue = 4096;

}  // namespace

TCommDevice::TCommDevice(const TDcb& dcb) : FDcb(dcb) { FQueue.Allocate(kDefaultQueue); }

bool TCommDevice::Setup(DWORD inQueue, DWORD& error) {
    if (inQueue == 0 || inQueue > 0xFFFF) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    TLockGuard guard(FLock);
    FQueue.Allocate(static_cast<std::uint16_t>(inQueue));
    return true;
}

void TCommDevice::GetState(TDcb& dcb) {
    TLockGuard guard(FLock);
    dcb = FDcb;
}

bool TCommDevice::SetState(const TDcb& dcb, DWORD& error) {
    if (!ApplyState(dcb, error)) return false;
    TLockGuard guard(FLock);
    FDcb = dcb;
    return true;
}

void TCommDevice::SetMask(DWORD mask) {
    {
        TLockGuard guard(FLock);
        FMask = mask;
        ++FMaskGeneration;
    }
    Wake();
}

void TCommDevice::SetTimeouts(const TCommTimeouts& timeouts) {
    TLockGuard guard(FLock);
    FTimeouts = timeouts;
}

std::uint64_t TCommDevice::WriteLimitMs(std::size_t count) {
    TLockGuard guard(FLock);
    return std::uint64_t{FTimeouts.WriteTotalTimeoutMultiplier} * count + FTimeouts.WriteTotalTimeoutConstant;
}

void TCommDevice::Lose(DWORD error) {
    {
        TLockGuard guard(FLock);
        if (!FGone) FGoneError = error;
        FGone = true;
    }
    Wake();
}

bool TCommDevice::WaitEvent(DWORD& mask, const TOverlapped* overlapped, DWORD& error) {
    TLockGuard guard(FLock);
    const std::uint64_t cancels = FWaitCancels;
    if (FMask == 0) {
        FSeenGeneration = FMaskGeneration;
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    FWaitActive = true;
    FWaiting = overlapped;
    // Cleared on every way out, with the lock held (it is declared later).
    struct TClear {
        TCommDevice& Device;
        ~TClear() {
            Device.FWaitActive = false;
            Device.FWaiting = nullptr;
            Device.FSeenGeneration = Device.FMaskGeneration;
        }
    } clear{*this};
    for (;;) {
        if (FMaskGeneration != FSeenGeneration) {
            mask = 0;  // a new mask ends the wait, reporting no event
            return true;
        }
        if (FWaitCancels != cancels) {
            error = ERROR_OPERATION_ABORTED;
            return false;
        }
        FillLocked();
        if (FRxArrived && (FMask & EV_RXCHAR) != 0) {
            FRxArrived = false;
            mask = EV_RXCHAR;
            return true;
        }
        if (FGone) {
            error = FGoneError;
            return false;
        }
        const bool room = FQueue.Room() > 0;
        FLock.Leave();
        Block(room);
        FLock.Enter();
    }
}

void TCommDevice::AfterRoomMadeLocked() {
    RoomMade();
    FillLocked();
    // The waiter's sleep took no interest in input while the queue was full.
    if (FWaitActive) Wake();
}

bool TCommDevice::Read(void* buffer, DWORD count, DWORD& read, DWORD& error) {
    TLockGuard guard(FLock);
    FillLocked();
    if (FQueue.Count() == 0 && FGone) {
        error = FGoneError;
        read = 0;
        return false;
    }
    read = FQueue.Get(static_cast<std::uint8_t*>(buffer), static_cast<std::uint16_t>(std::min<DWORD>(count, 0xFFFF)));
    if (read > 0) AfterRoomMadeLocked();
    return true;
}

bool TCommDevice::Write(const void* buffer, DWORD count, const TOverlapped* overlapped, DWORD& written,
                        DWORD& error) {
    std::uint64_t cancels = 0, limitMs = 0;
    written = 0;
    {
        TLockGuard guard(FLock);
        if (FGone) {
            error = FGoneError;
            return false;
        }
        cancels = FWriteCancels;
        limitMs = WriteLimitMs(count);
        FWriteActive = true;
        FWriting = overlapped;
    }
    struct TClear {
        TCommDevice& Device;
        ~TClear() {
            TLockGuard guard(Device.FLock);
            Device.FWriteActive = false;
            Device.FWriting = nullptr;
        }
    } clear{*this};
    const auto cancelled = [this, cancels] {
        TLockGuard guard(FLock);
        return FWriteCancels != cancels;
    };
    return Send(static_cast<const std::uint8_t*>(buffer), count, limitMs, cancelled, written, error);
}

void TCommDevice::Status(DWORD& errors, TComStat& stat) {
    DWORD queued = 0;
    {
        TLockGuard guard(FLock);
        const bool arrivedBefore = FRxArrived;
        FillLocked();
        if (FRxArrived && !arrivedBefore && FWaitActive) Wake();
        queued = FQueue.Count();
    }
    errors = 0;
    // Field by field: Windows' COMSTAT opens with bit fields.
    stat = TComStat{};
    stat.cbInQue = queued;
    stat.cbOutQue = PendingOutput();
}

void TCommDevice::Purge(DWORD flags) {
    TLockGuard guard(FLock);
    if ((flags & PURGE_TXABORT) != 0 && FWriteActive) {
        ++FWriteCancels;
        WakeWriter();
    }
    DiscardLocked(flags);
    if ((flags & PURGE_RXCLEAR) != 0) {
        FQueue.Clear();
        FRxArrived = false;
        AfterRoomMadeLocked();
    }
}

bool TCommDevice::Escape(DWORD function, DWORD& error) {
    if (Gone(error)) return false;
    return EscapeLine(function, error);
}

bool TCommDevice::Cancel(const TOverlapped* overlapped) {
    bool wait = false, write = false;
    {
        TLockGuard guard(FLock);
        wait = FWaitActive && (overlapped == nullptr || overlapped == FWaiting);
        write = FWriteActive && (overlapped == nullptr || overlapped == FWriting);
        if (wait) ++FWaitCancels;
        if (write) ++FWriteCancels;
    }
    if (wait) Wake();
    if (write) WakeWriter();
    return wait || write;
}

bool TCommDevice::Gone(DWORD& error) {
    TLockGuard guard(FLock);
    if (FGone) error = FGoneError;
    return FGone;
}

}  // namespace qmx
