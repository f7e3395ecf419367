#pragma once

// The gauge's line, the same whether a host's communication block or the
// library's own port carries it.

#include <cstdint>

namespace qmx {

// Carried with every exchange, to the host and to the port; not part of the
// frame.
constexpr std::uint8_t kGaugeAddress = 0x11;

constexpr std::int32_t kGaugeBaudRate = 9600;

}  // namespace qmx
