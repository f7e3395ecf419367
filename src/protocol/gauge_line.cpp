#include "protocol/gauge_line.h"

namespace qmx {

std::string FrameText(const TSerialSettings& line) {
    const char parity = line.Parity == TParity::Even ? 'E' : line.Parity == TParity::Odd ? 'O' : 'N';
    return std::to_string(line.BaudRate) + " baud " + std::to_string(line.DataBits) + parity +
           std::to_string(line.StopBits);
}

std::string LineText(const TSerialSettings& line) {
    return FrameText(line) + (line.RtsHigh ? ", RTS high" : ", RTS low");
}

}  // namespace qmx
