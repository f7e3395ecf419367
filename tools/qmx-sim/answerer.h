#pragma once

// What answers the requests the simulator's line brings: a simulated gauge,
// or a field trace played back.

#include <cstdint>
#include <optional>
#include <vector>

namespace qmx::sim {

// Bytes of an answer as a trace recorded them, and when they came after
// the request.
struct TReplyPart {
    int AtMs = 0;
    std::vector<std::uint8_t> Bytes;
};

// How an answer is to go out.
struct TReply {
    std::vector<std::uint8_t> Bytes;
    int DelayMs = 0;       // before the first byte
    int ByteGapMs = 0;     // between bytes; 0 sends them at once
    // Instead of the above: the parts, each at its time after the request
    // came, unpaced (recorded times hold the line's own).
    std::vector<TReplyPart> Parts;
};

class TAnswerer {
public:
    virtual ~TAnswerer() = default;
    // The answer to one request frame (STX ... ETX check), or nothing.
    virtual std::optional<TReply> Answer(const std::vector<std::uint8_t>& request, double elapsedSeconds) = 0;
};

}  // namespace qmx::sim
