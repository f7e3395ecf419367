#pragma once

// The gauge's frame, the same in both directions: STX, ASCII payload, ETX,
// and a check byte that makes the XOR of the whole frame zero. No address,
// no length field, no escaping.

#include <array>
#include <cstdint>

namespace qmx {

constexpr std::uint8_t kSTX = 0x02;
constexpr std::uint8_t kETX = 0x03;

constexpr std::size_t kFrameAreaSize = 256;
// Frame lengths travel as one byte, so a frame is at most 255 bytes.
constexpr std::uint8_t kMaxPayload = 252;
constexpr std::uint8_t kMaxFrameLength = kMaxPayload + 3;

using TFrameArea = std::array<std::uint8_t, kFrameAreaSize>;

// Writes the frame of the `length` payload bytes into `area` and returns the
// frame length, length + 3. `length` must not exceed kMaxPayload.
std::uint8_t BuildFrame(TFrameArea& area, const std::uint8_t* payload, std::uint8_t length);

}  // namespace qmx
