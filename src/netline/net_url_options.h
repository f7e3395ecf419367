#pragma once

// The options pySerial's users write after a network port's name
// (rfc2217://HOST:PORT?ign_set_control&timeout=10), as far as they mean
// something to this program's client.

#include <string>

#include "netline/net_address.h"

namespace qmx::net {

// Takes `address.Options` ('&'-joined) into `address`; false, with
// `problem` said, for an option refused: each by its name and why, an
// unknown one with the options there are.
bool ApplyUrlOptions(TNetAddress& address, std::string& problem);

}  // namespace qmx::net
