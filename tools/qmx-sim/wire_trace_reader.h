#pragma once

// Reads back a wire trace as the tools write it (src/serial/wire_trace.h):
// sections opened by a "===" header, then time-stamped lines, ">" with
// bytes the tracing program sent, "<" with bytes it received (a burst's
// worth, with its span when it took time), "#" with its notes. Older
// traces are read too: stamps without the offset and the steady clock's
// seconds, and lines of at most 16 bytes, one read's bytes under one
// stamp. The simulator reads it with code of its own, as it builds its
// frames: a trace the writer gets wrong is then found out.

#include <cstddef>
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
    // How long the bytes took to come (or go) after AtMs: a burst's span.
    long long SpanMs = 0;
};

// When the `index`-th byte of the event came: a burst that took time is
// taken as spread evenly over its span, as a gauge that paces its answer
// sends it; the trace tells no more.
long long ByteAtMs(const TTraceEvent& event, std::size_t index);

// The events of the trace, in order (notes left out), or what is wrong
// with it as "NAME:LINE: what". Bytes before any header are refused: the
// header is what says which way they went (a simulator's own trace has
// none, and its ">" are the gauge's answers).
std::variant<std::vector<TTraceEvent>, std::string> ReadWireTrace(const std::string& text, const std::string& name);

}  // namespace qmx::sim
