#pragma once

// Whole frames found in a stream of bytes heard on a line, whatever their
// payload: STX, up to the longest frame's bytes, ETX and a check byte that
// makes the XOR zero. At a wrong speed or parity the bytes seldom make one.

#include <cstddef>
#include <cstdint>

namespace qmx {

class TFrameScan {
public:
    // How many frames the bytes end (with those before them).
    std::size_t Feed(const std::uint8_t* data, std::size_t count);

private:
    enum class TState { Outside, Inside, AwaitingCheck };
    TState FState = TState::Outside;
    std::uint8_t FSum = 0;
    std::size_t FLength = 0;
};

}  // namespace qmx
