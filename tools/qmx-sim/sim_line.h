#pragma once

// The simulator's end of a serial line, whatever carries it: a pty's master
// or a tty on Linux, a COM port through the library's own serial code.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace qmx::sim {

// A wait with no bound but the line's own.
inline constexpr std::chrono::microseconds kUntilBytes = std::chrono::microseconds::max();

class TSimLine {
public:
    virtual ~TSimLine() = default;

    // Waits until bytes arrive, `longest` has passed or Interrupt is
    // called; copies what arrived, at most `capacity` bytes, and returns
    // the count (0 when interrupted, when `longest` passed, or after a
    // short wait while nobody holds the other end).
    virtual std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) = 0;
    // Writes the bytes; returns how many went, fewer only when the line has
    // gone or Interrupt was called.
    virtual std::size_t Send(const std::uint8_t* data, std::size_t count) = 0;
    // Waits for `duration`; false, at once, when Interrupt was called.
    virtual bool Rest(std::chrono::microseconds duration) = 0;
    // Ends every wait, now and from now on.
    virtual void Interrupt() = 0;
    // Which far end the bytes come from, on a line whose far end changes
    // (a network port's clients, counted): a request one left half sent is
    // no part of the next one's.
    virtual int Connection() const { return 0; }
};

}  // namespace qmx::sim
