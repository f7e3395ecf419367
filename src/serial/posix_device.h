#pragma once

// A serial device on POSIX, behaving as the port expects of a Windows
// serial driver: it keeps an input queue of its own (the driver's queue,
// sized by SetupComm), reports EV_RXCHAR when bytes arrive in it, lets a
// SetCommMask from another thread end a pending wait, never blocks a read,
// and bounds a write by the write timeout. Every call completes at once;
// none is left pending.

#include <termios.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "serial/byte_ring.h"
#include "serial/comm_api.h"

namespace qmx {

class TPosixDevice final {
public:
    // Opens the tty at `path` for exclusive use; nullptr with `error` set
    // when it cannot be opened or is no tty.
    static TPosixDevice* Open(const std::string& path, DWORD& error);
    ~TPosixDevice();
    TPosixDevice(const TPosixDevice&) = delete;
    TPosixDevice& operator=(const TPosixDevice&) = delete;

    bool Setup(DWORD inQueue, DWORD& error);
    void GetState(TDcb& dcb);
    bool SetState(const TDcb& dcb, DWORD& error);
    void SetMask(DWORD mask);
    void SetTimeouts(const TCommTimeouts& timeouts);
    bool WaitEvent(DWORD& mask, const TOverlapped* overlapped, DWORD& error);
    bool Read(void* buffer, DWORD count, DWORD& read, DWORD& error);
    bool Write(const void* buffer, DWORD count, const TOverlapped* overlapped, DWORD& written,
               DWORD& error);
    void ClearErrors(DWORD& errors, TComStat& stat);
    void Purge(DWORD flags);
    bool Escape(DWORD function, DWORD& error);
    // Ends a wait or a write in progress (all when `overlapped` is null)
    // with ERROR_OPERATION_ABORTED; false when none matches.
    bool Cancel(const TOverlapped* overlapped);

private:
    TPosixDevice(int fd, const TDcb& dcb);

    // Moves what the system holds into the input queue, as room permits.
    // Call with FMutex held. False once the device has gone.
    bool PumpLocked();
    // Wakes a pending event wait so that it looks again: its poll has no
    // interest in input while the queue is full, and it cannot see bytes
    // another thread moved into the queue. Call with FMutex held.
    void WakeWaiterLocked();
    // After a refused tcsetattr: true when the device is a pty that took
    // all it can of `asked`.
    bool PtyTookTheRest(const termios& asked) const;

    const int FFd;
    // A pseudo-terminal: it has no data bits or parity of its own.
    bool FIsPty = false;
    int FWaitWake[2] = {-1, -1};   // wakes a pending event wait
    int FWriteWake[2] = {-1, -1};  // wakes a write in progress
    std::mutex FMutex;
    // The driver's input queue.
    TByteRing FQueue;
    DWORD FMask = 0;
    DWORD FErrors = 0;
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

// Applies a baud rate that has no Bnnn constant (the port's default 5760,
// for one) through the kernel's termios2 interface.
bool SetCustomBaudRate(int fd, std::uint32_t baudRate);

}  // namespace qmx
