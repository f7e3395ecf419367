#pragma once

// Reads back a wire trace as the tools write it (src/serial/wire_trace.h):
// sections opened by a "===" header, then time-stamped lines (old traces'
// stamps without the offset and the steady clock's seconds are read too), ">" with
// bytes the tracing program sent, "<" with bytes it received, "#" with its
// notes. The simulator reads it with code of its own, as it builds its
// frames: a trace the writer gets wrong is then found out.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qmx::sim {

struct TTraceEvent {
    enum class TKind { Section, Sent, Received };
    TKind Kind = TKind::Section;
    // The time stamp in milliseconds: since the section began on the steady
    // clock when the trace has that, else from a day of its own (in UTC
    // when the stamp has its offset).
    long long AtMs = 0;
    std::vector<std::uint8_t> Bytes;
    int Line = 0;  // where it is in the trace
    bool Steady = false;  // AtMs cannot jump
};

// The events of the trace, in order (notes left out), or what is wrong
// with it as "NAME:LINE: what". Bytes before any header are refused: the
// header is what says which way they went (a simulator's own trace has
// none, and its ">" are the gauge's answers).
std::variant<std::vector<TTraceEvent>, std::string> ReadWireTrace(const std::string& text, const std::string& name);

}  // namespace qmx::sim
