#pragma once

// A device as the port expects of a Windows serial driver, whatever carries
// the line: an input queue of its own (the driver's queue, sized by
// SetupComm); EV_RXCHAR when bytes arrive in it; a SetCommMask from another
// thread ends a pending wait, and one made between two waits ends the next;
// a cancel ends a wait or a write in progress; reads never block; a write is
// bounded by the write time-out; a device that has gone is reported only
// once what it sent has been read. Every call completes at once; none is
// left pending.
//
// Those rules are kept here, once. What carries the bytes (a tty, a
// connection) is a strategy: how bytes get into the queue, how a waiter
// sleeps and is woken, how a write goes out.

#include <cstdint>
#include <functional>

#include "platform/recursive_lock.h"
#include "serial/byte_ring.h"
#include "serial/comm_api.h"

namespace qmx {

class TCommDevice {
public:
    virtual ~TCommDevice() = default;
    TCommDevice(const TCommDevice&) = delete;
    TCommDevice& operator=(const TCommDevice&) = delete;

    bool Setup(DWORD inQueue, DWORD& error);
    void GetState(TDcb& dcb);
    // Sets the line as `dcb` says, as far as this line has one, and keeps it.
    bool SetState(const TDcb& dcb, DWORD& error);
    void SetMask(DWORD mask);
    void SetTimeouts(const TCommTimeouts& timeouts);
    bool WaitEvent(DWORD& mask, const TOverlapped* overlapped, DWORD& error);
    bool Read(void* buffer, DWORD count, DWORD& read, DWORD& error);
    bool Write(const void* buffer, DWORD count, const TOverlapped* overlapped, DWORD& written, DWORD& error);
    void Status(DWORD& errors, TComStat& stat);
    void Purge(DWORD flags);
    bool Escape(DWORD function, DWORD& error);
    // Ends a wait or a write in progress (all when `overlapped` is null)
    // with ERROR_OPERATION_ABORTED; false when none matches.
    bool Cancel(const TOverlapped* overlapped);
    // True with the error once the device has gone.
    bool Gone(DWORD& error);

protected:
    explicit TCommDevice(const TDcb& dcb);

    // Moves what the line holds into the queue, as room permits; sets
    // FRxArrived when any moved. Called with the lock held.
    virtual void FillLocked() = 0;
    // Sleeps, without the lock, until Wake is called or (when `room`) the
    // line has input; may return early.
    virtual void Block(bool room) = 0;
    // Ends a Block in progress, or the next one.
    virtual void Wake() = 0;
    // Called with the lock held when a read or a purge made room in the queue.
    virtual void RoomMade() {}
    // Writes `count` bytes within `limitMs` (0: no limit); `Cancelled`
    // says when to give up. False with the error when the write failed.
    virtual bool Send(const std::uint8_t* data, DWORD count, std::uint64_t limitMs,
                      const std::function<bool()>& cancelled, DWORD& written, DWORD& error) = 0;
    // Ends a Send in progress so that it looks at its cancel.
    virtual void WakeWriter() {}
    // The line's side of a purge, and of the settings, modem lines and queue.
    virtual void DiscardLocked(DWORD /*flags*/) {}
    virtual bool ApplyState(const TDcb& /*dcb*/, DWORD& /*error*/) { return true; }
    virtual bool EscapeLine(DWORD /*function*/, DWORD& /*error*/) { return true; }
    virtual DWORD PendingOutput() { return 0; }

    // For the strategies.
    TRecursiveLock& Lock() { return FLock; }
    TByteRing& Queue() { return FQueue; }
    void NoteArrivalLocked() { FRxArrived = true; }
    bool IsGoneLocked() const { return FGone; }
    // What the write time-outs give `count` bytes (0: no limit).
    std::uint64_t WriteLimitMs(std::size_t count);
    // The device has gone with `error`: a waiter hears of it.
    void Lose(DWORD error);

private:
    // A read or a purge made room: what was held back moves in, a waiter
    // hears of it.
    void AfterRoomMadeLocked();

    TRecursiveLock FLock;
    TByteRing FQueue;  // the driver's input queue
    DWORD FMask = 0;
    bool FRxArrived = false;
    bool FGone = false;
    DWORD FGoneError = 0;
    std::uint64_t FMaskGeneration = 0;
    // The mask generation the last event wait ended with: a SetCommMask
    // made between two waits ends the next one at once, so that a wake-up
    // sent just before the wait began is not lost.
    std::uint64_t FSeenGeneration = 0;
    std::uint64_t FWaitCancels = 0;
    std::uint64_t FWriteCancels = 0;
    // The wait and the write in progress, and the OVERLAPPED each came with.
    bool FWaitActive = false;
    bool FWriteActive = false;
    const TOverlapped* FWaiting = nullptr;
    const TOverlapped* FWriting = nullptr;
    TCommTimeouts FTimeouts{};
    TDcb FDcb{};
};

}  // namespace qmx
