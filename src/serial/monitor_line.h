#pragma once

// A line a monitor listens on, for reading only: a serial device or pty
// set to the gauge's line without a byte sent, no break, no purge and its
// modem lines left as they are; or, on Linux, a device server's raw TCP
// port, to which nothing is sent.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qmx {

class TMonitorLine {
public:
    virtual ~TMonitorLine() = default;
    // Bytes read (> 0), 0 when none are there now, -1 when the line has
    // gone (with the reason). Once AwaitBytes has found the line ready, it
    // does not wait.
    virtual long Read(std::uint8_t* buffer, std::size_t capacity, std::string& problem) = 0;
};

using TMonitorLines = std::vector<std::unique_ptr<TMonitorLine>>;

// Waits until bytes may have come on one of `lines` (or it has gone), or
// `milliseconds` at most; which of them to read. On Linux every line is
// one MonitorLineOn made.
std::vector<bool> AwaitBytes(const TMonitorLines& lines, int milliseconds);

#ifndef _WIN32
// The descriptor `fd` (a tty, a socket) as a line, which closes it.
std::unique_ptr<TMonitorLine> MonitorLineOn(int fd);
#endif

}  // namespace qmx
