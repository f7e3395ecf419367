#pragma once

// An address a socket reached, as the messages name it.

#include <cstddef>
#include <string>

struct sockaddr;

namespace qmx::net {

// "127.0.0.1 port 2217"; "?" when the system cannot say.
std::string PeerText(const sockaddr* address, std::size_t length);

}  // namespace qmx::net
