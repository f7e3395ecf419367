#include "protocol/field_reader.h"

#include <cmath>
#include <limits>

namespace qmx {

std::int32_t ReadField(const std::uint8_t* answer, std::size_t position, std::size_t width,
                       std::int32_t fallback) {
    return ParseField(answer, position, width).value_or(fallback);
}

std::optional<std::int32_t> ParseField(const std::uint8_t* answer, std::size_t position, std::size_t width) {
    const std::uint8_t* field = answer + position;
    std::size_t end = 0;
    while (end < width && field[end] != 0) ++end;

    std::size_t i = 0;
    while (i < end && field[i] == ' ') ++i;
    bool negative = false;
    if (i < end && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    if (i == end) return std::nullopt;

    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < end; ++i) {
        if (field[i] < '0' || field[i] > '9') return std::nullopt;
        magnitude = magnitude * 10 + (field[i] - '0');
        if (magnitude > kLimit) return std::nullopt;
    }
    if (!negative && magnitude == kLimit) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::uint8_t RoundToLowByte(double value) {
    if (!std::isfinite(value)) return 0;
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    // Only the low 8 bits are kept; fmod keeps them exact for any magnitude.
    double low = std::fmod(whole, 256.0);
    if (low < 0) low += 256.0;
    return static_cast<std::uint8_t>(low);
}

}  // namespace qmx
