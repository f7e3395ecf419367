#pragma once

// Reading the fixed-position numeric fields of the gauge's answers.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qmx {

// The `width` characters at `position` of `answer` as a signed 32-bit
// decimal integer: leading spaces skipped, an optional sign, then digits to
// the end of the field; a NUL ends the field early. Anything else (no
// digits, any other character, trailing spaces, overflow) is no number.
std::optional<std::int32_t> ParseField(const std::uint8_t* answer, std::size_t position, std::size_t width);

// ParseField, with `fallback` for a field that is no number.
std::int32_t ReadField(const std::uint8_t* answer, std::size_t position, std::size_t width,
                       std::int32_t fallback);

// Rounds to the nearest integer, halves to the even neighbour, and keeps the
// low 8 bits of the result (so -1 gives 255 and 256 gives 0).
std::uint8_t RoundToLowByte(double value);

}  // namespace qmx
