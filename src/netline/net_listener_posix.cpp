#include "netline/net_listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

// Only loopback unless the user names another address: a simulated gauge
// is for this machine's tests.
constexpr char kDefaultHost[] = "127.0.0.1";

// The addresses to try for `host` and `port`: getaddrinfo's status.
int Candidates(const std::string& host, std::uint16_t port, int flags, addrinfo** found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV | flags;
    return ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, found);
}

}  // namespace

TListener::~TListener() {
    if (FFd >= 0) ::close(FFd);
}

TListener::TListener(TListener&& other) noexcept { *this = std::move(other); }

TListener& TListener::operator=(TListener&& other) noexcept {
    if (this != &other) {
        if (FFd >= 0) ::close(FFd);
        FFd = std::exchange(other.FFd, -1);
        FHost = std::move(other.FHost);
        FPort = other.FPort;
    }
    return *this;
}

TListener TListener::Listen(const std::string& host, std::uint16_t port, std::string& problem) {
    const std::string name = host.empty() ? kDefaultHost : host;
    addrinfo* found = nullptr;
    if (const int status = Candidates(name, port, 0, &found); status != 0) {
        problem = "cannot find host '" + name + "': " + ::gai_strerror(status);
        return TListener();
    }
    int error = 0;
    TListener listener = Bound(found, 4, error);
    ::freeaddrinfo(found);
    if (!listener.Valid())
        problem = "cannot listen on " + name + " port " + std::to_string(port) + ": " + SocketErrorText(error);
    return listener;
}

TListener TListener::Bind(const std::string& host, std::uint16_t port, int backlog, int& error) {
    addrinfo* found = nullptr;
    if (Candidates(host, port, AI_NUMERICHOST, &found) != 0) {
        error = EINVAL;
        return TListener();
    }
    TListener listener = Bound(found, backlog, error);
    ::freeaddrinfo(found);
    return listener;
}

TListener TListener::Bound(const addrinfo* candidates, int backlog, int& error) {
    TListener listener;
    for (const addrinfo* candidate = candidates; candidate != nullptr && !listener.Valid();
         candidate = candidate->ai_next) {
        const int fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        // A server started again at once finds its port free.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || ::listen(fd, backlog) != 0) {
            error = errno;
            ::close(fd);
            continue;
        }
        listener.FFd = fd;
    }
    if (!listener.Valid()) return listener;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener.FFd, reinterpret_cast<sockaddr*>(&bound), &length);
    char text[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, text, sizeof text, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    // Appended, not added: GCC 12 warns falsely of an overlap on "[" + a
    // temporary string.
    listener.FHost = bound.ss_family == AF_INET6 ? std::string("[").append(text).append("]") : std::string(text);
    listener.FPort = static_cast<std::uint16_t>(std::stoi(service));
    return listener;
}

int TListener::Accept() { return ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK); }

}  // namespace qmx::net
