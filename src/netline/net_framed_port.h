#pragma once

// The gauge's framed port on a line behind a network: the library's own
// port, running on the network's comm layer, which it owns.

#include <cstdint>
#include <memory>
#include <string>

#include "netline/net_address.h"
#include "serial/framed_port.h"
#include "serial/serial_errors.h"

namespace qmx::net {

// Raises the serial layer's error when the line cannot be opened or set
// up; its message then says why in the network's terms (the server
// refused, answered 8 data bits, did not answer within 5 s), and a server
// set up for another line, which no retry will change, is a refusal.
// `tracePath` as TComPort takes it.
std::unique_ptr<TFramedPort> OpenNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber,
                                                   const std::string& tracePath);

}  // namespace qmx::net
