// How a client socket connects, alike on both systems: the host's
// addresses tried in turn within one time limit.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#endif

#include "netline/net_peer.h"
#include "netline/net_socket.h"
#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

using TClock = std::chrono::steady_clock;

#ifdef _WIN32
using TAddressLength = int;
constexpr int kRefused = WSAECONNREFUSED;
// AI_ADDRCONFIG, which the toolchain's headers name only for Vista and
// later, the systems that take it.
constexpr int kAddressConfigured = 0x0400;
#else
using TAddressLength = socklen_t;
constexpr int kRefused = ECONNREFUSED;
constexpr int kAddressConfigured = AI_ADDRCONFIG;
#endif

// Only the families this host has an address of: a name with an IPv6
// address is not tried over IPv6 from a host that has none.
int Resolve(const std::string& host, std::uint16_t port, addrinfo*& found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = kAddressConfigured;
    const std::string service = std::to_string(port);
    int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
#ifdef _WIN32
    // XP refuses the flag it does not know; it has no IPv6 address unless
    // one was installed, and then it may as well be tried.
    if (status == EAI_BADFLAGS) {
        hints.ai_flags = 0;
        status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    }
#endif
    return status;
}

std::string ResolveProblem(const std::string& host, int status, int& error) {
#ifdef _WIN32
    error = status;
    return "cannot find host '" + host + "'";
#else
    error = status == EAI_SYSTEM ? errno : ECONNREFUSED;
    return "cannot find host '" + host + "': " + gai_strerror(status);
#endif
}

}  // namespace

// getnameinfo is in XP's ws2_32; inet_ntop came only with Vista.
std::string PeerText(const sockaddr* address, std::size_t length) {
    char host[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    if (getnameinfo(address, static_cast<TAddressLength>(length), host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return std::string(host) + " port " + service;
}

TSocket TSocket::Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, int& error,
                         std::string& problem) {
    if (!SocketsReady(error, problem)) return TSocket();
    const auto deadline = TClock::now() + timeout;
    addrinfo* found = nullptr;
    if (const int status = Resolve(host, port, found); status != 0) {
        problem = ResolveProblem(host, status, error);
        return TSocket();
    }
    TSocket socket;
    error = kRefused;
    for (const addrinfo* candidate = found; candidate != nullptr && !socket.Valid(); candidate = candidate->ai_next) {
        if (TClock::now() >= deadline) {
            error = kTimedOut;
            break;
        }
        if (socket.ConnectTo(*candidate, deadline, error))
            socket.FPeer = PeerText(candidate->ai_addr, candidate->ai_addrlen);
    }
    freeaddrinfo(found);
    if (!socket.Valid() || !socket.Prepare(error)) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout).count();
        problem = error == kTimedOut ? "no connection within " + std::to_string(seconds) + " s"
                                     : SocketErrorText(error);
        return TSocket();
    }
    return socket;
}

}  // namespace qmx::net
