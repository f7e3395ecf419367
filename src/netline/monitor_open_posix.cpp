#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "netline/monitor_open.h"
#include "netline/net_address.h"
#include "serial/gauge_tty.h"

namespace qmx::net {
namespace {

// The first of `address`'s addresses that takes a connection; the
// descriptor, non-blocking, or -1 with the reason.
int Connect(const TNetAddress& address, std::string& problem) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(address.Host.c_str(), std::to_string(address.Port).c_str(), &hints, &found);
        error != 0) {
        problem = ::gai_strerror(error);
        return -1;
    }
    int fd = -1;
    for (const addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            problem = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    // Nothing is ever sent; the write side stays open all the same, as a
    // device server may take a half-close for the end of the connection.
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

}  // namespace

std::unique_ptr<TMonitorLine> OpenMonitorLine(const std::string& name, std::string& problem) {
    int fd = -1;
    if (IsNetworkName(name)) {
        const auto address = ParseNetAddress(name, problem);
        if (!address) return nullptr;
        if (address->Kind != TNetAddress::TKind::Socket) {
            problem = "the monitor listens on socket://HOST:PORT (RFC 2217 would have it send)";
            return nullptr;
        }
        fd = Connect(*address, problem);
    } else {
        fd = OpenListeningTty(name, problem);
    }
    return fd < 0 ? nullptr : MonitorLineOn(fd);
}

}  // namespace qmx::net
