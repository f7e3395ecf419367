#include "netline/rfc2217.h"

namespace qmx::net::rfc2217 {
namespace {

struct TValueName {
    std::uint8_t Command;
    std::uint32_t Value;
    const char* Text;
};

constexpr TValueName kValueNames[] = {
    {kSetParity, 1, "none"},  {kSetParity, 2, "odd"},  {kSetParity, 3, "even"}, {kSetParity, 4, "mark"},
    {kSetParity, 5, "space"}, {kSetStopSize, 1, "1"},  {kSetStopSize, 2, "2"},  {kSetStopSize, 3, "1.5"},
    {kSetControl, kControlNoFlow, "no flow control"},
    {kSetControl, kControlSoftwareFlow, "XON/XOFF flow control"},
    {kSetControl, kControlHardwareFlow, "RTS/CTS flow control"},
    {kSetControl, kControlBreakOn, "break on"}, {kSetControl, kControlBreakOff, "break off"},
    {kSetControl, kControlDtrOn, "DTR on"},     {kSetControl, kControlDtrOff, "DTR off"},
    {kSetControl, kControlRtsOn, "RTS on"},     {kSetControl, kControlRtsOff, "RTS off"},
};

}  // namespace

std::vector<std::uint8_t> Subnegotiation(std::uint8_t command, std::uint32_t value) {
    if (command == kSetBaudRate)
        return {command, static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return {command, static_cast<std::uint8_t>(value)};
}

std::optional<std::uint32_t> ValueOf(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return std::nullopt;
    const std::uint8_t command = static_cast<std::uint8_t>(bytes[0] % kServerOffset);
    if (command == kSetBaudRate) {
        if (bytes.size() != 5) return std::nullopt;
        return std::uint32_t{bytes[1]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 8 |
               std::uint32_t{bytes[4]};
    }
    if (bytes.size() != 2) return std::nullopt;
    return bytes[1];
}

std::string SettingName(std::uint8_t command) {
    switch (command) {
        case kSetBaudRate: return "baud rate";
        case kSetDataSize: return "data size";
        case kSetParity: return "parity";
        case kSetStopSize: return "stop bits";
        case kSetControl: return "line control";
        default: return "command " + std::to_string(command);
    }
}

std::string ValueText(std::uint8_t command, std::uint32_t value) {
    for (const auto& name : kValueNames)
        if (name.Command == command && name.Value == value) return name.Text;
    return std::to_string(value);
}

std::uint8_t ParityCode(std::uint8_t win32Parity) { return static_cast<std::uint8_t>(win32Parity + 1); }

std::uint8_t StopSizeCode(std::uint8_t win32StopBits) {
    // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2 against 1, 3, 2.
    constexpr std::uint8_t kCodes[] = {1, 3, 2};
    return win32StopBits < 3 ? kCodes[win32StopBits] : 0;
}

}  // namespace qmx::net::rfc2217
