#pragma once

// The Telnet COM-PORT option (RFC 2217): the client sets the server's serial
// line with sub-negotiations, and the server answers each with the value
// it took, its command number raised by 100.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qmx::net::rfc2217 {

constexpr std::uint8_t kSignature = 0;
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kNotifyLineState = 6;
constexpr std::uint8_t kNotifyModemState = 7;
constexpr std::uint8_t kFlowControlSuspend = 8;
constexpr std::uint8_t kFlowControlResume = 9;
constexpr std::uint8_t kPurgeData = 12;
// A server's answer is the client's command plus this.
constexpr std::uint8_t kServerOffset = 100;
constexpr std::uint8_t kCommandCount = 13;

// SET-CONTROL values.
constexpr std::uint8_t kControlNoFlow = 1;
constexpr std::uint8_t kControlSoftwareFlow = 2;
constexpr std::uint8_t kControlHardwareFlow = 3;
constexpr std::uint8_t kControlBreakOn = 5;
constexpr std::uint8_t kControlBreakOff = 6;
constexpr std::uint8_t kControlDtrOn = 8;
constexpr std::uint8_t kControlDtrOff = 9;
constexpr std::uint8_t kControlRtsOn = 11;
constexpr std::uint8_t kControlRtsOff = 12;

// PURGE-DATA values: the access server's buffers.
constexpr std::uint8_t kPurgeReceived = 1;
constexpr std::uint8_t kPurgeToSend = 2;

// SET-PARITY and SET-STOPSIZE values.
constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kParityEven = 3;
constexpr std::uint8_t kStopOne = 1;

// The bytes after IAC SB COM-PORT-OPTION: the command and its value (four
// bytes, network order, for the baud rate; one byte for the rest).
std::vector<std::uint8_t> Subnegotiation(std::uint8_t command, std::uint32_t value);
// The value a sub-negotiation's bytes (the command first) carry.
std::optional<std::uint32_t> ValueOf(const std::vector<std::uint8_t>& bytes);

// Words for the user: "parity", "even".
std::string SettingName(std::uint8_t command);
std::string ValueText(std::uint8_t command, std::uint32_t value);

// Win32's DCB values as the option's: parity NOPARITY... SPACEPARITY and
// stop bits ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS.
std::uint8_t ParityCode(std::uint8_t win32Parity);
std::uint8_t StopSizeCode(std::uint8_t win32StopBits);

}  // namespace qmx::net::rfc2217
