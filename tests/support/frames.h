#pragma once

// Answer frames as a gauge sends them, built independently of the driver.

#include <cstdint>
#include <string>
#include <vector>

namespace qmx::test {

inline std::vector<std::uint8_t> Frame(const std::string& payload) {
    std::vector<std::uint8_t> frame{0x02};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0x03);
    std::uint8_t check = 0;
    for (auto byte : frame) check ^= byte;
    frame.push_back(check);
    return frame;
}

// A 43-byte L answer: level at 8-14, second value at 15-21, temperature at
// 36-39; it opens by repeating the request `echo`.
inline std::vector<std::uint8_t> LevelAnswer(const std::string& level7, const std::string& aux7,
                                             const std::string& temperature4, const std::string& echo = "L01") {
    std::string payload = echo + " 0A0" + level7 + aux7 + "00000000000000" + temperature4 + "0";
    return Frame(payload);
}

// A 45-byte G answer: density at 24-31.
inline std::vector<std::uint8_t> DensityAnswer(const std::string& density8, const std::string& echo = "G01") {
    std::string payload = echo + std::string(20, '0') + density8 + std::string(11, '0');
    return Frame(payload);
}

}  // namespace qmx::test
