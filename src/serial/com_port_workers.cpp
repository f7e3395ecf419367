// TComPort's two workers: the event thread, which moves received bytes from
// the driver into the input ring and reports them through DataArrived, and
// the writer thread, which hands the output ring to the driver.

#include <algorithm>

#include "serial/com_port.h"

namespace qmx {
namespace {

constexpr std::size_t kWorkerStackSize = 16384;

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
    if (start)
        StartThreads();
    else
        StopThreads();
}

void TComPort::StartThreads() {
    {
        TLockGuard guard(FPortLock);
        FStopRequested = 0;
        FStopEventThread = false;
        FReadRequested = false;
        FCurrentMask = kEventMask;
        FEventThread.Start(&TComPort::EventThreadMain, this, kWorkerStackSize);
        FAckEvent.Wait(kStartWait);
        FEventThread.SetPriority(TThread::TPriority::TimeCritical);
        FWriterThread.Start(&TComPort::WriterThreadMain, this, kWorkerStackSize);
        FAckEvent.Wait(kStartWait);
        FWriterThread.SetPriority(TThread::TPriority::Highest);
    }
    // A port without one of its workers would neither receive nor send
    // while it looked open: stop the one that runs and fail the open.
    if (!FEventThread.Started() || !FWriterThread.Started()) {
        StopThreads();
        throw EOpenPortFail(FPortNumber);
    }
}

int TComPort::StopThreads() {
    // Workers acknowledge only their start and their stop: an
    // acknowledgement set now is a start's that came after its wait, and
    // would be taken for the writer's stop.
    FAckEvent.Reset();
    // The stop request is made under the lock; the waits for the
    // acknowledgements are not, since a worker may need the lock for a
    // moment (inside ReadInput, GetChar or DrainOutput) before it can see
    // the request, and would otherwise be terminated.
    {
        TLockGuard guard(FPortLock);
        FStopRequested = -1;
    }
    FWakeEvent.Set();
    // A write that is still pending would hold the writer for up to a
    // minute. (The writer cancels it itself when it learns of the stop
    // only after the write went pending.)
    if (FWritePending) FApi.CancelIoEx(FHandle, &FWriteOverlapped);
    int unacknowledged = StopWorker(FWriterThread) ? 0 : 1;

    FStopEventThread = true;
    FApi.SetCommMask(FHandle, 0);  // completes the event thread's pending wait
    unacknowledged += StopWorker(FEventThread) ? 0 : 1;
    return unacknowledged;
}

bool TComPort::StopWorker(TThread& worker) {
    if (!worker.Started()) return true;
    const bool inTime = FAckEvent.Wait(kStopWait);
    // A worker that ended without acknowledging (its event wait failed)
    // needs no end from outside.
    if (!inTime && !worker.AwaitEnd(0)) {
        // What the worker has pending would keep it from its end where it
        // runs on, and outlive it where it is terminated.
        FApi.CancelIoEx(FHandle, nullptr);
        worker.Terminate();
    }
    // The host may free the library as soon as Close returns: the worker is
    // seen to have ended, its thread detach run, first. Bounded by the stop
    // wait, as its acknowledgement is.
    worker.AwaitEnd(kStopWait);
    worker.Release();
    // An acknowledgement that came after the wait is taken here, so that
    // the next wait does not take it for its own.
    return inTime || FAckEvent.Wait(0);
}

void TComPort::EventThreadMain(void* port) { static_cast<TComPort*>(port)->RunEventThread(); }

void TComPort::WriterThreadMain(void* port) { static_cast<TComPort*>(port)->RunWriterThread(); }

void TComPort::BackOff(DWORD& delay, bool (TComPort::*stopping)() const) {
    for (DWORD slept = 0; slept < delay && !(this->*stopping)(); slept += kBackOffSlice)
        FApi.Sleep(std::min(kBackOffSlice, delay - slept));
    delay = std::min(delay * 2, kLongestBackOff);
}

void TComPort::RunEventThread() {
    PrepareEventWait();
    Acknowledge();
    DWORD backOff = kFirstBackOff;
    for (;;) {
        const TWaitEnd end = WaitForEvents(backOff);
        if (end == TWaitEnd::Failed) return;  // unacknowledged: a stop finds it ended
        if (end == TWaitEnd::Stopping || EventThreadStopRequested()) break;
        HandleCommEvents();
        if (EventThreadStopRequested()) break;
    }
    Acknowledge();
}

void TComPort::PrepareEventWait() {
    FWaitOverlapped = {};
    FWaitEvent.Create(TEvent::TReset::Manual);
    FWaitOverlapped.hEvent = FWaitEvent.Handle();
    FApi.SetCommMask(FHandle, FCurrentMask);
    TCommTimeouts timeouts = kLineTimeouts;
    FApi.SetCommTimeouts(FHandle, &timeouts);
}

TComPort::TWaitEnd TComPort::WaitForEvents(DWORD& backOff) {
    const std::uint32_t wakesBefore = FWakes;
    if (FApi.WaitCommEvent(FHandle, &FEventMask, &FWaitOverlapped)) {
        backOff = kFirstBackOff;
        return TWaitEnd::Events;
    }
    const DWORD error = FApi.GetLastError();
    if (error == ERROR_IO_PENDING) return AwaitPendingWait(wakesBefore, backOff);
    if (error == ERROR_INVALID_PARAMETER && (FCurrentMask & kRingTrailingEdge) != 0) {
        FCurrentMask = kEventMaskFallback;
        FApi.SetCommMask(FHandle, kEventMaskFallback);
    } else {
        NoteDeviceFailure(error);
        BackOff(backOff, &TComPort::EventThreadStopRequested);
    }
    return TWaitEnd::Events;
}

TComPort::TWaitEnd TComPort::AwaitPendingWait(std::uint32_t wakesBefore, DWORD& backOff) {
    FWaitPending = true;
    // A stop that came before the wait was pending found nothing to
    // complete, and where a worker cannot be ended from outside the wait
    // would then hold the stop for ever. The stop is asked for before its
    // SetCommMask, so a stop not seen here completes this wait.
    if (EventThreadStopRequested()) {
        EndOwnWait();
        return TWaitEnd::Stopping;
    }
    // A read asked for before the wait was pending would wait for the next
    // byte: end the wait at once.
    if (FReadRequested) WakeEventWait();
    DWORD transferred = 0;
    const BOOL completed = FApi.GetOverlappedResult(FHandle, &FWaitOverlapped, &transferred, TRUE);
    const DWORD failure = completed ? ERROR_SUCCESS : FApi.GetLastError();
    FWaitPending = false;
    if (!completed) return HandleFailedWait(failure, wakesBefore, backOff);
    FWaitEvent.Reset();
    backOff = kFirstBackOff;
    return TWaitEnd::Events;
}

TComPort::TWaitEnd TComPort::HandleFailedWait(DWORD failure, std::uint32_t wakesBefore, DWORD& backOff) {
    // Some drivers (Wine's among them) end a pending wait that SetCommMask
    // interrupts as a failure: during a stop that is the stop itself,
    // otherwise one of this port's own wake-ups.
    if (EventThreadStopRequested()) return TWaitEnd::Stopping;
    const bool woken = failure == ERROR_OPERATION_ABORTED && FWakes != wakesBefore;
    if (!woken && !NoteDeviceFailure(failure)) return TWaitEnd::Failed;
    FEventMask = 0;
    FWaitEvent.Reset();
    if (!woken) BackOff(backOff, &TComPort::EventThreadStopRequested);
    return TWaitEnd::Events;
}

void TComPort::WakeEventWait() {
    ++FWakes;
    FApi.SetCommMask(FHandle, FCurrentMask);
}

void TComPort::EndOwnWait() {
    FApi.CancelIoEx(FHandle, &FWaitOverlapped);
    DWORD transferred = 0;
    FApi.GetOverlappedResult(FHandle, &FWaitOverlapped, &transferred, TRUE);
    FWaitPending = false;
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
    WakeEventWait();
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
        if (FInRing.Full) return;  // the bytes wait in the driver until GetChar makes room
        GetLineErrors(FComStat);
        waiting = FComStat.cbInQue;
    }
    if (waiting == 0) return;

    // The free span at the head is read whole (the driver returns what it
    // holds); the span after the wrap only for what is still wanted.
    DWORD first = 0, second = 0;
    std::uint8_t* head = nullptr;
    {
        TLockGuard guard(FPortLock);
        head = FInRing.AtHead();
        first = FInRing.FreeSpan();
        const DWORD wanted = std::min<DWORD>(waiting, FInRing.Room());
        second = first < wanted ? wanted - first : 0;
    }

    const auto firstCount = static_cast<std::uint16_t>(ReadSpan(head, first));
    FTrace.Log(TWireTrace::TDirection::Received, head, firstCount);
    bool wrapped = false;
    {
        TLockGuard guard(FPortLock);
        FInRing.Stored(firstCount);
        wrapped = FInRing.Head == 0;
    }
    std::uint16_t secondCount = 0;
    if (second != 0 && wrapped) {
        secondCount = static_cast<std::uint16_t>(ReadSpan(FInRing.AtHead(), second));
        FTrace.Log(TWireTrace::TDirection::Received, FInRing.AtHead(), secondCount);
        TLockGuard guard(FPortLock);
        FInRing.Stored(secondCount);
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
    FReadEvent.Reset();
    return read;
}

// The handler is the owner's code: an exception from it must not end the
// event thread, and so the port's reception.
void TComPort::CallDataArrived(std::uint16_t count) {
    if (!FArrivalsStarted) return;
    try {
        DataArrived(count);
    } catch (...) {
    }
}

void TComPort::RunWriterThread() {
    FWriteOverlapped = {};
    FWriteOverlapped.hEvent = FWriteDoneEvent.Handle();
    Acknowledge();
    for (;;) {
        FWakeEvent.Wait(kWaitForever);
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
    return FOutRing.Count() != 0;
}

void TComPort::DrainOutput() {
    DWORD backOff = kFirstBackOff;
    while (HasPendingOutput()) {
        const std::uint8_t* start = nullptr;
        std::uint16_t length = 0;
        {
            TLockGuard guard(FPortLock);
            start = FOutRing.AtTail();
            length = FOutRing.StoredSpan();
        }
        const auto sent = [&] {
            FTrace.Log(TWireTrace::TDirection::Sent, start, length);
            TLockGuard guard(FPortLock);
            FOutRing.Taken(length);
        };

        DWORD written = 0;
        if (FApi.WriteFile(FHandle, start, length, &written, &FWriteOverlapped)) {
            sent();
            backOff = kFirstBackOff;
            continue;
        }
        if (const DWORD error = FApi.GetLastError(); error == ERROR_IO_PENDING) {
            FWritePending = true;
            // A stop that looked before the write was known to be pending
            // did not cancel it.
            if (StopRequested()) FApi.CancelIoEx(FHandle, &FWriteOverlapped);
            const bool signalled = FWriteDoneEvent.Wait(FWriteTimeout);
            // A write still pending after the time-out is ended before its
            // record is used again.
            if (!signalled) FApi.CancelIoEx(FHandle, &FWriteOverlapped);
            const BOOL completed = FApi.GetOverlappedResult(FHandle, &FWriteOverlapped, &written, !signalled);
            // A write this port cancelled itself says nothing of the device.
            if (!completed && signalled) NoteDeviceFailure(FApi.GetLastError());
            FWritePending = false;
            if (completed) {
                sent();
                FWriteDoneEvent.Reset();
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
