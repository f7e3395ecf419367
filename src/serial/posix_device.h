#pragma once

// A serial device on POSIX: a tty (a USB serial adapter, a pty) carrying the
// comm device's rules. Input is read from the tty into the queue as room
// permits; a waiter sleeps in poll() on the tty and a wake-up pipe; a write
// polls for room, bounded by the write time-out.

#include <termios.h>

#include <cstdint>
#include <string>

#include "serial/comm_device.h"

namespace qmx {

class TPosixDevice final : public TCommDevice {
public:
    // Opens the tty at `path` for exclusive use; nullptr with `error` set
    // when it cannot be opened or is no tty.
    static TPosixDevice* Open(const std::string& path, DWORD& error);
    ~TPosixDevice() override;

private:
    TPosixDevice(int fd, const TDcb& dcb);

    // Reads what the tty holds into the queue, as room permits; a read
    // error (EIO once a pty's far end has closed) is the device gone.
    void FillLocked() override;
    void Block(bool room) override;
    void Wake() override;
    bool Send(const std::uint8_t* data, DWORD count, std::uint64_t limitMs, const std::function<bool()>& cancelled,
              DWORD& written, DWORD& error) override;
    void WakeWriter() override;
    void DiscardLocked(DWORD flags) override;
    bool ApplyState(const TDcb& dcb, DWORD& error) override;
    bool EscapeLine(DWORD function, DWORD& error) override;
    DWORD PendingOutput() override;

    // After a refused tcsetattr: true when the device is a pty that took
    // all it can of `asked`.
    bool PtyTookTheRest(const termios& asked) const;

    const int FFd;
    // A pseudo-terminal: it has no data bits or parity of its own.
    bool FIsPty = false;
    int FWaitWake[2] = {-1, -1};   // wakes a pending event wait
    int FWriteWake[2] = {-1, -1};  // wakes a write in progress
};

// Applies a baud rate that has no Bnnn constant (the port's default 5760,
// for one) through the kernel's termios2 interface.
bool SetCustomBaudRate(int fd, std::uint32_t baudRate);

}  // namespace qmx
