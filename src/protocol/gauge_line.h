#pragma once

// The gauge's line, the same whether a host's communication block or the
// library's own port carries it.

#include <cstdint>
#include <string>

namespace qmx {

// Carried with every exchange, to the host and to the port; not part of the
// frame.
constexpr std::uint8_t kGaugeAddress = 0x11;

enum class TParity : std::uint8_t { None, Odd, Even };

// A serial line's rate and character frame, and the level its end holds
// RTS at.
struct TSerialSettings {
    std::int32_t BaudRate;
    std::uint8_t DataBits;
    TParity Parity;
    std::uint8_t StopBits;
    bool RtsHigh;
};

// The gauge's line, at either end of it: every port, tty, tap and device
// server is set from this.
constexpr TSerialSettings kGaugeLine{9600, 7, TParity::Even, 1, false};

constexpr std::int32_t kGaugeBaudRate = kGaugeLine.BaudRate;

// The bits a character takes on `line`: start, data, parity, stop.
constexpr int CharacterBits(const TSerialSettings& line) {
    return 1 + line.DataBits + (line.Parity != TParity::None ? 1 : 0) + line.StopBits;
}

// "9600 baud 7E1", as traces and messages name the line.
std::string FrameText(const TSerialSettings& line);
// "9600 baud 7E1, RTS low", for an end that drives the line.
std::string LineText(const TSerialSettings& line);

}  // namespace qmx
