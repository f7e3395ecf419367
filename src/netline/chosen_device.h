#pragma once

// A line opened by the name a user gives it, on Linux and Windows alike: a
// device server's network port (socket://HOST:PORT, rfc2217://HOST:PORT),
// a device path, or a COM port; each chosen once, then opened as the
// library's framed port as often as a silo asks.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "netline/net_address.h"
#include "serial/framed_port.h"

namespace qmx::net {

struct TChosenDevice {
    int Com = 0;       // the silo's COM port number
    std::string Name;  // for messages
    std::optional<TNetAddress> Network;  // the network port COM`Com` stands for
    std::string Path;  // the device given by path that COM`Com` stands for
    std::string Trace;  // where the port traces every byte; empty: nowhere
};

// The line `device` names, or COM`com` when it names none, checked as far
// as can be before a port opens it; false with the problem when it will
// not do. A network port is COM1.
bool ChooseDevice(const std::string& device, int com, TChosenDevice& chosen, std::string& problem);

// The library's framed port on COM`portNumber`, or on the device given by
// path or the network port chosen, with the trace chosen. Raises the
// serial layer's error when it cannot be opened.
std::unique_ptr<TFramedPort> OpenChosenDevice(const TChosenDevice& device, std::uint8_t portNumber);

}  // namespace qmx::net
