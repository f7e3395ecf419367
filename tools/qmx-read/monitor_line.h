#pragma once

// A line the monitor listens on, for reading only: a serial device or pty
// set to 9600 baud 7E1 without a byte sent, no break, no purge and its
// modem lines left as they are; or a device server's raw TCP port, to
// which nothing is sent. Linux only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qmx::tools {

class TMonitorLine {
public:
    // The line `name` gives: a path, or socket://HOST:PORT. Nothing, with
    // the reason, when it cannot be opened or set up.
    static std::unique_ptr<TMonitorLine> Open(const std::string& name, std::string& problem);

    virtual ~TMonitorLine() = default;
    // What poll() waits on.
    virtual int Descriptor() const = 0;
    // Bytes read (> 0), 0 when none are there now, -1 when the line has
    // gone (with the reason).
    virtual long Read(std::uint8_t* buffer, std::size_t capacity, std::string& problem) = 0;
};

}  // namespace qmx::tools
