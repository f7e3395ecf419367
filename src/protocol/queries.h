#pragma once

// The gauge's two queries. A request's payload is the query letter and the
// tank number (index + 1) in two decimal digits; the answer is a frame of
// the query's fixed length whose values stand at fixed positions
// (answer_layout.h). The L answer carries a tank's level, second value and
// temperature; the G answer its density.

#include <array>
#include <cstdint>
#include <cstddef>
#include <optional>

#include "protocol/tank_reading.h"

namespace qmx {

enum class TQuery : char {
    Level = 'L',
    Density = 'G',
};

constexpr std::uint8_t kPayloadLength = 3;
using TPayload = std::array<std::uint8_t, kPayloadLength>;

// The payload asking `query` of the tank with index `tank` (0 to 98).
TPayload QueryPayload(TQuery query, std::uint8_t tank);

// The whole answer frame's length, from the STX to the check byte.
std::uint8_t AnswerLength(TQuery query);

// The tank number two decimal digits give, or nothing when they are not
// two digits.
std::optional<int> TankNumberOf(const std::uint8_t* digits);

// The values of `answer`, `length` bytes from the STX, answered to `query`
// for the tank with index `tank`: each as the gauge gives it, a field that is
// no number as its default and a doubt, as is an echo that names another
// query or tank. A field beyond `length` gives nothing.
TTankReading DecodeAnswer(TQuery query, std::uint8_t tank, const std::uint8_t* answer, std::size_t length);

}  // namespace qmx
