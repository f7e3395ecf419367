#pragma once

// A device named as a device server's network port (socket://HOST:PORT,
// rfc2217://HOST:PORT), on Linux and Windows alike: the driver's COM1
// stands for it, and the reader's own opener puts the silo's port on the
// network's comm layer.

#include <cstdint>
#include <memory>
#include <string>

#include "reader_system.h"
#include "serial/framed_port.h"

namespace qmx::tools {

// Takes the network port the options name as the one the reader is to
// read: false with the problem when they name none. A raw TCP port is said, once, to
// keep the server's own line settings.
bool ChooseNetworkDevice(const TOptions& options, TChosenDevice& device, std::string& problem);

// The library's framed port on COM`portNumber`, or on the device given by
// path or the network port chosen, whichever the reader reads, with the
// trace chosen.
std::unique_ptr<TFramedPort> OpenReaderPort(const TChosenDevice& device, std::uint8_t portNumber);

}  // namespace qmx::tools
