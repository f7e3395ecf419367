// TComPort's two workers: the event thread, which moves received bytes from
// the driver into the input ring and reports them through DataArrived, and
// the writer thread, which hands the output ring to the driver.

#include <algorithm>
#include <exception>

#include "serial/com_port.h"

#ifndef _WIN32
#include <cxxabi.h>
#endif

namespace qmx {
namespace {

// Win32 gives each worker 16 KiB; elsewhere the C library and the
// sanitizers need more than that.
#ifdef _WIN32
constexpr std::size_t kWorkerStackSize = 16384;
#else
constexpr std::size_t kWorkerStackSize = 256 * 1024;
#endif

constexpr DWORD kStartWait = 3000;
constexpr DWORD kStopWait = 200;

// The line events the event thread asks for. 0x2000 is the ring-indicator
// trailing-edge bit of the 16-bit Windows interface: some drivers refuse it,
// and are then asked once more without it.
constexpr DWORD kEventMask = 0x21FD;
constexpr DWORD kEventMaskFallback = 0x01FD;
constexpr DWORD kRingTrailingEdge = 0x2000;
constexpr DWORD kLineErrorEvents = EV_BREAK | EV_ERR;

// Reads return at once with what the driver holds; a write gives up after 20 s.
constexpr TCommTimeouts kLineTimeouts{MAXDWORD, 0, 0, 0, 20000};

// Pacing of a call that keeps failing (a device that has gone).
constexpr DWORD kFirstBackOff = 5;
constexpr DWORD kLongestBackOff = 200;
constexpr DWORD kBackOffSlice = 20;

}  // namespace

void TComPort::RunThreads(bool start) {
    if (start) {
        TLockGuard guard(FPortLock);
        FStopRequested = 0;
        FStopEventThread = false;
        FReadRequested = false;
        FCurrentMask = kEventMask;
        FEventThread = FApi.CreateThread(nullptr, kWorkerStackSize, &TComPort::EventThreadMain, this, 0,
                                         &FEventThreadId);
        FApi.WaitForSingleObject(FAckEvent, kStartWait);
        FApi.SetThreadPriority(FEventThread, THREAD_PRIORITY_TIME_CRITICAL);
        FWriterThread = FApi.CreateThread(nullptr, kWorkerStackSize, &TComPort::WriterThreadMain, this, 0,
                                          &FWriterThreadId);
        FApi.WaitForSingleObject(FAckEvent, kStartWait);
        FApi.SetThreadPriority(FWriterThread, THREAD_PRIORITY_HIGHEST);
        // A port without one of its workers would neither receive nor send
        // while it looked open: stop the one that runs and fail the open.
        if (FEventThread == nullptr || FWriterThread == nullptr) {
            RunThreads(false);
            throw EOpenPortFail(FPortNumber);
        }
        return;
    }

    // The stop request is made under the lock; the waits for the
    // acknowledgements are not, since a worker may need the lock for a
    // moment (inside ReadInput, GetChar or DrainOutput) before it can see
    // the request, and would otherwise be terminated.
    {
        TLockGuard guard(FPortLock);
        FStopRequested = -1;
    }
    FApi.SetEvent(FWakeEvent);
    // A write that is still pending would hold the writer for up to a minute.
    if (FWritePending) FApi.CancelIoEx(FHandle, &FWriteOverlapped);
    if (FWriterThread != nullptr) {
        if (FApi.WaitForSingleObject(FAckEvent, kStopWait) == WAIT_TIMEOUT) FApi.TerminateThread(FWriterThread, 0);
        FApi.CloseHandle(FWriterThread);
        FWriterThread = nullptr;
    }

    FStopEventThread = true;
    FApi.SetCommMask(FHandle, 0);  // completes the event thread's pending wait
    if (FEventThread != nullptr) {
        if (FApi.WaitForSingleObject(FAckEvent, kStopWait) == WAIT_TIMEOUT) FApi.TerminateThread(FEventThread, 0);
        FApi.CloseHandle(FEventThread);
        FEventThread = nullptr;
    }
}

DWORD QMX_THREAD_PROC TComPort::EventThreadMain(void* port) {
    static_cast<TComPort*>(port)->RunEventThread();
    return 0;
}

DWORD QMX_THREAD_PROC TComPort::WriterThreadMain(void* port) {
    static_cast<TComPort*>(port)->RunWriterThread();
    return 0;
}

void TComPort::BackOff(DWORD& delay, bool (TComPort::*stopping)() const) {
    for (DWORD slept = 0; slept < delay && !(this->*stopping)(); slept += kBackOffSlice)
        FApi.Sleep(std::min(kBackOffSlice, delay - slept));
    delay = std::min(delay * 2, kLongestBackOff);
}

void TComPort::RunEventThread() {
    FWaitOverlapped = {};
    FWaitOverlapped.hEvent = FApi.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    FApi.SetCommMask(FHandle, FCurrentMask);
    TCommTimeouts timeouts = kLineTimeouts;
    FApi.SetCommTimeouts(FHandle, &timeouts);
    Acknowledge();

    DWORD backOff = kFirstBackOff;
    for (;;) {
        const std::uint32_t wakesBefore = FWakes;
        if (FApi.WaitCommEvent(FHandle, &FEventMask, &FWaitOverlapped)) {
            backOff = kFirstBackOff;
        } else {
            const DWORD error = FApi.GetLastError();
            if (error == ERROR_IO_PENDING) {
                FWaitPending = true;
                // A read asked for before the wait was pending would wait for
                // the next byte: end the wait at once.
                if (FReadRequested) {
                    ++FWakes;
                    FApi.SetCommMask(FHandle, FCurrentMask);
                }
                DWORD transferred = 0;
                const BOOL completed = FApi.GetOverlappedResult(FHandle, &FWaitOverlapped, &transferred, TRUE);
                const DWORD failure = completed ? ERROR_SUCCESS : FApi.GetLastError();
                FWaitPending = false;
                if (!completed) {
                    // Some drivers (Wine's among them) end a pending wait
                    // that SetCommMask interrupts as a failure: during a stop
                    // that is the stop itself, otherwise one of this port's
                    // own wake-ups.
                    if (EventThreadStopRequested()) {
                        Acknowledge();
                        return;
                    }
                    const bool woken = failure == ERROR_OPERATION_ABORTED && FWakes != wakesBefore;
                    if (!woken && !NoteDeviceFailure(failure)) return;
                    FEventMask = 0;
                    FApi.ResetEvent(FWaitOverlapped.hEvent);
                    if (!woken) BackOff(backOff, &TComPort::EventThreadStopRequested);
                } else {
                    FApi.ResetEvent(FWaitOverlapped.hEvent);
                    backOff = kFirstBackOff;
                }
            } else if (error == ERROR_INVALID_PARAMETER && (FCurrentMask & kRingTrailingEdge) != 0) {
                FCurrentMask = kEventMaskFallback;
                FApi.SetCommMask(FHandle, kEventMaskFallback);
            } else {
                NoteDeviceFailure(error);
                BackOff(backOff, &TComPort::EventThreadStopRequested);
            }
        }
        if (EventThreadStopRequested()) {
            Acknowledge();
            return;
        }
        HandleCommEvents();
        if (EventThreadStopRequested()) {
            Acknowledge();
            return;
        }
    }
}

void TComPort::HandleCommEvents() {
    if ((FEventMask & kLineErrorEvents) != 0) UpdateLineErrors();
    if ((FEventMask & EV_RXCHAR) != 0 || FReadRequested) ReadInput();
}

void TComPort::RequestRead() {
    FReadRequested = true;
    // The event thread may be waiting for line events, on a driver that
    // holds bytes it has reported already: a SetCommMask with the mask it
    // asks for ends the wait and changes nothing else. Once its stop is
    // asked for, the thread looks no more.
    if (EventThreadStopRequested() || FHandle == nullptr) return;
    ++FWakes;
    FApi.SetCommMask(FHandle, FCurrentMask);
}

void TComPort::ReadInput() {
    // A handler that takes bytes out of a full ring asks for another pass:
    // what the driver still holds raises no new event.
    do {
        FReadRequested = false;
        ReadPass();
    } while (FReadRequested && !EventThreadStopRequested());
}

void TComPort::ReadPass() {
    DWORD waiting = 0;
    {
        TLockGuard guard(FPortLock);
        if (FInputFull != 0) return;  // the bytes wait in the driver until GetChar makes room
        GetLineErrors(FComStat);
        waiting = FComStat.cbInQue;
    }
    if (waiting == 0) return;

    DWORD first = 0, second = 0;
    std::uint16_t head = 0;
    {
        TLockGuard guard(FPortLock);
        head = FInHead;
        DWORD free = 0;
        if (FInHead == FInTail) {
            free = kInRingSize;
            first = kInRingSize - FInHead;
        } else if (FInTail < FInHead) {
            free = FInTail + kInRingSize - FInHead;
            first = kInRingSize - FInHead;
        } else {
            free = first = static_cast<DWORD>(FInTail - FInHead);
        }
        const DWORD wanted = std::min(waiting, free);
        second = first < wanted ? wanted - first : 0;
    }

    const DWORD firstCount = ReadSpan(&FInRing[head], first);
    bool wrapped = false;
    {
        TLockGuard guard(FPortLock);
        FInHead = static_cast<std::uint16_t>((FInHead + firstCount) % kInRingSize);
        if (firstCount != 0) FInputFull = FInHead == FInTail ? -1 : 0;
        wrapped = FInHead == 0;
    }
    DWORD secondCount = 0;
    if (second != 0 && wrapped) {
        secondCount = ReadSpan(&FInRing[0], second);
        TLockGuard guard(FPortLock);
        FInHead = static_cast<std::uint16_t>((FInHead + secondCount) % kInRingSize);
        if (secondCount != 0) FInputFull = FInHead == FInTail ? -1 : 0;
    }
    CallDataArrived(static_cast<std::uint16_t>(firstCount + secondCount));
}

DWORD TComPort::ReadSpan(std::uint8_t* destination, DWORD count) {
    DWORD read = 0;
    if (FApi.ReadFile(FHandle, destination, count, &read, &FReadOverlapped)) return read;
    if (const DWORD error = FApi.GetLastError(); error != ERROR_IO_PENDING) {
        NoteDeviceFailure(error);
        return 0;
    }
    FReadPending = true;
    const BOOL completed = FApi.GetOverlappedResult(FHandle, &FReadOverlapped, &read, TRUE);
    if (!completed) NoteDeviceFailure(FApi.GetLastError());
    FReadPending = false;
    if (!completed) return 0;
    FApi.ResetEvent(FReadOverlapped.hEvent);
    return read;
}

// The handler is the owner's code: an exception from it must not end the
// event thread, and so the port's reception.
void TComPort::CallDataArrived(std::uint16_t count) {
    if (!FArrivalsStarted) return;
    try {
        DataArrived(count);
#ifndef _WIN32
    } catch (abi::__forced_unwind&) {
        throw;  // the thread is being cancelled: let it end
#endif
    } catch (...) {
    }
}

void TComPort::RunWriterThread() {
    FWriteOverlapped = {};
    FWriteOverlapped.hEvent = FWriteDoneEvent;
    Acknowledge();
    for (;;) {
        FApi.WaitForSingleObject(FWakeEvent, INFINITE);
        if (StopRequested()) {
            Acknowledge();
            return;
        }
        DrainOutput();
        if (StopRequested()) {
            Acknowledge();
            return;
        }
    }
}

bool TComPort::HasPendingOutput() {
    TLockGuard guard(FPortLock);
    return FOutFull || FOutHead != FOutTail;
}

void TComPort::DrainOutput() {
    DWORD backOff = kFirstBackOff;
    while (HasPendingOutput()) {
        std::uint16_t start = 0, length = 0, nextTail = 0;
        {
            TLockGuard guard(FPortLock);
            start = FOutTail;
            if (FOutHead > FOutTail) {
                length = static_cast<std::uint16_t>(FOutHead - FOutTail);
                nextTail = FOutHead;
            } else {
                length = static_cast<std::uint16_t>(FOutQueueSize - FOutTail);
                nextTail = 0;
            }
        }
        const auto sent = [&] {
            TLockGuard guard(FPortLock);
            FOutTail = nextTail;
            FOutFull = false;
        };

        DWORD written = 0;
        if (FApi.WriteFile(FHandle, &FOutRing[start], length, &written, &FWriteOverlapped)) {
            sent();
            backOff = kFirstBackOff;
            continue;
        }
        if (const DWORD error = FApi.GetLastError(); error == ERROR_IO_PENDING) {
            FWritePending = true;
            const bool signalled = FApi.WaitForSingleObject(FWriteDoneEvent, FWriteTimeout) == WAIT_OBJECT_0;
            // A write still pending after the time-out is ended before its
            // record is used again.
            if (!signalled) FApi.CancelIoEx(FHandle, &FWriteOverlapped);
            const BOOL completed = FApi.GetOverlappedResult(FHandle, &FWriteOverlapped, &written, !signalled);
            // A write this port cancelled itself says nothing of the device.
            if (!completed && signalled) NoteDeviceFailure(FApi.GetLastError());
            FWritePending = false;
            if (completed) {
                sent();
                FApi.ResetEvent(FWriteDoneEvent);
                backOff = kFirstBackOff;
                continue;
            }
        } else {
            NoteDeviceFailure(error);
        }
        // The same span is written again, paced, unless the port is closing.
        if (StopRequested()) return;
        BackOff(backOff, &TComPort::StopRequested);
        if (StopRequested()) return;
    }
}

}  // namespace qmx
