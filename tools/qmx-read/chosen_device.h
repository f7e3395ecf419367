#pragma once

// The device the reader reads, as its options chose it once.

#include <optional>
#include <string>

#include "netline/net_address.h"

namespace qmx::tools {

struct TChosenDevice {
    int Com = 0;       // what the driver opens
    std::string Name;  // for messages
    std::optional<net::TNetAddress> Network;  // the network port COM`Com` stands for
};

}  // namespace qmx::tools
