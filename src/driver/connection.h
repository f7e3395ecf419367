#pragma once

// The connection type, one byte: 0 to 2 are the host's communication blocks
// 1 to 3; every value from 3 up is the driver's own serial port COM(type - 2),
// with no upper bound (11 is COM9, 255 is COM253).

#include <cstdint>

namespace qmx {

constexpr std::uint8_t kFirstPortType = 3;

constexpr bool IsCommBlock(std::uint8_t connectionType) { return connectionType < kFirstPortType; }

constexpr std::uint8_t PortNumberOf(std::uint8_t connectionType) {
    return static_cast<std::uint8_t>(connectionType - 2);
}

// Names a block's line to the host: block number in the high four bits, 1 in
// the low four (17, 33, 49). Computed in 8 bits, so it wraps for large types.
constexpr std::uint8_t LineAddressOf(std::uint8_t connectionType) {
    return static_cast<std::uint8_t>(connectionType * 16 + 17);
}

// The connection type for GetSiloEx3's arguments: a block number 1 to 3 when
// the flag is set, else a COM port number. Wraps modulo 256 either way.
constexpr std::uint8_t ConnectionTypeFor(std::uint32_t number, std::uint32_t blockFlag) {
    const auto low = static_cast<std::uint8_t>(number);
    return static_cast<std::uint8_t>((blockFlag & 0xFFu) != 0 ? low - 1 : low + 2);
}

}  // namespace qmx
