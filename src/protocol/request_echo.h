#pragma once

// A gauge repeats its request's payload, the query letter and the tank
// number, in the first three characters of its answer. The answer check
// looks at none of them, so an answer that comes late, to the request
// before, passes it as well as the awaited one. These three characters
// tell them apart: an answer that opens like a request payload other than
// the one sent answers another request.
//
// A gauge whose answers open with anything else (no letter, no digits) is
// not judged by them.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "protocol/queries.h"

namespace qmx {

// How many characters after the STX repeat the request.
constexpr std::size_t kEchoLength = kPayloadLength;

constexpr bool IsDecimalDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// The query letter followed by two decimal digits.
constexpr bool HasRequestShape(const std::uint8_t* echo) {
    return (echo[0] == static_cast<std::uint8_t>(TQuery::Level) ||
            echo[0] == static_cast<std::uint8_t>(TQuery::Density)) &&
           IsDecimalDigit(echo[1]) && IsDecimalDigit(echo[2]);
}

// `echo`: the kEchoLength characters after an answer's STX; `payload`: what
// the request that awaits the answer carried.
constexpr bool AnswersAnotherRequest(const std::uint8_t* echo, const std::uint8_t* payload,
                                     std::size_t payloadLength) {
    if (!HasRequestShape(echo)) return false;
    return payloadLength != kEchoLength || !std::equal(echo, echo + kEchoLength, payload);
}

}  // namespace qmx
