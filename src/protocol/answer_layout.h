#pragma once

// Where the gauge puts its values in the answers to the L and G queries:
// fixed-position ASCII fields counted from the STX at position 0, each read
// as a signed decimal integer and divided by its scale.

#include <cstddef>
#include <cstdint>

namespace qmx {

constexpr std::uint8_t kLevelAnswerLength = 43;
constexpr std::uint8_t kDensityAnswerLength = 45;

struct TField {
    std::size_t Position;
    std::size_t Width;
    std::int32_t Fallback;  // taken when the characters are not a number
    double Scale;
};

// The L answer.
constexpr TField kLevelField{8, 7, 1000, 100.0};
constexpr TField kSecondValueField{15, 7, 100, 100.0};
constexpr TField kTemperatureField{36, 4, 10, 10.0};
// The G answer.
constexpr TField kDensityField{24, 8, 500000, 100000000.0};

}  // namespace qmx
