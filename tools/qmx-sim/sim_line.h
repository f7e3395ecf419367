#pragma once

// The simulator's end of a serial line, whatever carries it: a pty's master
// or a tty on Linux, a COM port through the library's own serial code.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace qmx::sim {

class TSimLine {
public:
    virtual ~TSimLine() = default;

    // Waits until bytes arrive or Interrupt is called; copies what arrived,
    // at most `capacity` bytes, and returns the count (0 when interrupted,
    // or after a short wait while nobody holds the other end).
    virtual std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) = 0;
    // Writes the bytes; returns how many went, fewer only when the line has
    // gone or Interrupt was called.
    virtual std::size_t Send(const std::uint8_t* data, std::size_t count) = 0;
    // Waits for `duration`; false, at once, when Interrupt was called.
    virtual bool Rest(std::chrono::microseconds duration) = 0;
    // Ends every wait, now and from now on.
    virtual void Interrupt() = 0;
};

}  // namespace qmx::sim
