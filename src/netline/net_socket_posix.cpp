#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "netline/net_socket.h"
#include "netline/net_peer.h"
#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

using TClock = std::chrono::steady_clock;

// A server whose host vanishes without closing (power, cable) sends no
// FIN: the kernel's probes find out within about 10 s instead of the
// retransmission's quarter of an hour.
constexpr int kKeepIdleSeconds = 4;
constexpr int kKeepIntervalSeconds = 2;
constexpr int kKeepProbes = 3;
constexpr unsigned kUnackedLimitMs = 10000;
// How often a send the peer holds up looks whether it is cancelled.
constexpr int kCancelLookMs = 20;

int MillisecondsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One try at one address: a non-blocking connect, bounded by `deadline`.
int ConnectOne(const addrinfo& candidate, TClock::time_point deadline, int& error) {
    const int fd = ::socket(candidate.ai_family, candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            candidate.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, candidate.ai_addr, candidate.ai_addrlen) == 0) return fd;
    if (errno != EINPROGRESS) {
        error = errno;
        ::close(fd);
        return -1;
    }
    pollfd wait{fd, POLLOUT, 0};
    int ready = 0;
    while ((ready = ::poll(&wait, 1, MillisecondsLeft(deadline))) < 0 && errno == EINTR) {
    }
    int result = 0;
    socklen_t length = sizeof result;
    if (ready == 0) {
        error = kTimedOut;
    } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0 || result != 0) {
        error = result != 0 ? result : errno;
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

TSocket::~TSocket() { Release(); }

TSocket::TSocket(TSocket&& other) noexcept { *this = std::move(other); }

TSocket& TSocket::operator=(TSocket&& other) noexcept {
    if (this != &other) {
        Release();
        FFd = std::exchange(other.FFd, -1);
        FWake[0] = std::exchange(other.FWake[0], -1);
        FWake[1] = std::exchange(other.FWake[1], -1);
        FPeer = std::move(other.FPeer);
    }
    return *this;
}

void TSocket::Release() {
    for (int* fd : {&FFd, &FWake[0], &FWake[1]})
        if (*fd >= 0) ::close(*fd), *fd = -1;
}

bool TSocket::Valid() const { return FFd >= 0; }

bool TSocket::Prepare(int& error) {
    if (::pipe2(FWake, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) | O_NONBLOCK);
    // A request is a few bytes that must go at once, not wait for the
    // answer to the one before (Nagle).
    const int on = 1;
    ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(FFd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(FFd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    ::setsockopt(FFd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
    ::setsockopt(FFd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    ::setsockopt(FFd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnackedLimitMs, sizeof kUnackedLimitMs);
    return true;
}

bool TSocket::SocketsReady(int&, std::string&) { return true; }

bool TSocket::ConnectTo(const addrinfo& candidate, TClock::time_point deadline, int& error) {
    FFd = ConnectOne(candidate, deadline, error);
    return Valid();
}

TSocket TSocket::Adopt(int fd) {
    TSocket socket;
    socket.FFd = fd;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        socket.FPeer = PeerText(reinterpret_cast<sockaddr*>(&address), length);
    int error = 0;
    if (!socket.Prepare(error)) return TSocket();
    return socket;
}

bool TSocket::AwaitInput() {
    pollfd fds[2] = {{FFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    return (fds[1].revents & POLLIN) == 0;
}

void TSocket::Interrupt() {
    const char byte = 1;
    // A pipe that is full holds an interrupt already; it is never drained.
    [[maybe_unused]] const auto ignored = ::write(FWake[1], &byte, 1);
}

long TSocket::Receive(std::uint8_t* buffer, std::size_t capacity, int& error) {
    const ssize_t got = ::recv(FFd, buffer, capacity, 0);
    if (got > 0) return static_cast<long>(got);
    if (got == 0) {
        error = kPeerClosed;
        return -1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    error = errno;
    return -1;
}

bool TSocket::SendAll(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds timeout, int& error,
                      const std::function<bool()>& cancelled) {
    const auto deadline = TClock::now() + timeout;
    std::size_t done = 0;
    while (done < count) {
        // MSG_NOSIGNAL: a closed peer is an error to report, not a SIGPIPE.
        const ssize_t put = ::send(FFd, data + done, count - done, MSG_NOSIGNAL);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            error = errno;
            return false;
        }
        pollfd fds[2] = {{FFd, POLLOUT, 0}, {FWake[0], POLLIN, 0}};
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            error = kTimedOut;
            return false;
        }
        ::poll(fds, 2, cancelled ? std::min(left, kCancelLookMs) : left);
        if ((fds[1].revents & POLLIN) != 0 || (cancelled && cancelled())) {
            error = kCancelled;
            return false;
        }
    }
    return true;
}

}  // namespace qmx::net
