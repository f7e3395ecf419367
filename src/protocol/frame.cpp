#include "protocol/frame.h"

#include <cstring>

namespace qmx {

std::uint8_t BuildFrame(TFrameArea& area, const std::uint8_t* payload, std::uint8_t length) {
    area[0] = kSTX;
    area[length + 1u] = kETX;
    if (length != 0) std::memcpy(&area[1], payload, length);
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < length + 2u; ++i) check ^= area[i];
    area[length + 2u] = check;
    return static_cast<std::uint8_t>(length + 3u);
}

}  // namespace qmx
