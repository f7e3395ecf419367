#pragma once

// The device the reader reads, as its options chose it once.

#include <optional>
#include <string>

#include "netline/net_address.h"

namespace qmx::tools {

struct TChosenDevice {
    int Com = 0;       // the silo's COM port number
    std::string Name;  // for messages
    std::optional<net::TNetAddress> Network;  // the network port COM`Com` stands for
    std::string Path;  // the device given by path that COM`Com` stands for
    std::string Trace;  // where the port traces every byte; empty: nowhere
};

}  // namespace qmx::tools
