#pragma once

// --match: which of the listed serial devices to show, as pySerial's
// list_ports narrows its list: by USB ids, or by a regular expression on
// the names and descriptions a technician reads off the adapter.

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "serial/serial_devices.h"

namespace qmx::tools {

class TDeviceFilter {
public:
    // "0403:6001" or "0403:" (hex, case ignored) for USB ids, anything
    // else a regular expression (ECMAScript, case ignored); nothing, with
    // `problem` said, for an expression that does not compile.
    static std::optional<TDeviceFilter> Parse(const std::string& pattern, std::string& problem);

    bool Matches(const TSerialDevice& device) const;
    std::vector<TSerialDevice> Keep(const std::vector<TSerialDevice>& devices) const;

private:
    TDeviceFilter() = default;

    // By ids: the vendor, and the product unless only "VID:" was given.
    std::string FVid;
    std::string FPid;
    std::optional<std::regex> FExpression;
};

// pySerial's hardware id of a USB adapter, which its users match on:
// "USB VID:PID=0403:6001 SER=A10K7QZ1 LOCATION=1-1.4:1.0"; empty for
// another device.
std::string HardwareId(const TSerialDevice& device);

}  // namespace qmx::tools
