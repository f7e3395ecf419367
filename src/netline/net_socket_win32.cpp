#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <utility>

#include "netline/net_socket.h"
#include "netline/net_peer.h"
#include "netline/socket_errors.h"

namespace qmx::net {
namespace {

using TClock = std::chrono::steady_clock;

// The slice a send that must wait looks again for an interrupt: select
// cannot wait on an event as well as on the socket.
constexpr int kSendSliceMs = 50;

// As on Linux: a host that vanishes without closing is found out within
// about 10 s by the system's probes.
constexpr ULONG kKeepIdleMs = 4000;
constexpr ULONG kKeepIntervalMs = 2000;
constexpr DWORD kUnackedLimitSeconds = 10;
// TCP_MAXRT, which the toolchain's headers, written for XP, do not name.
constexpr int kTcpMaxRt = 5;

long MillisecondsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<long>(left) : 0;
}

SOCKET ConnectOne(const addrinfo& candidate, TClock::time_point deadline, int& error) {
    SOCKET s = socket(candidate.ai_family, candidate.ai_socktype, candidate.ai_protocol);
    if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, candidate.ai_addr, static_cast<int>(candidate.ai_addrlen)) == 0) return s;
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        error = WSAGetLastError();
        closesocket(s);
        return INVALID_SOCKET;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const long left = MillisecondsLeft(deadline);
    timeval limit{left / 1000, (left % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready > 0 && FD_ISSET(s, &writable)) return s;
    if (ready == 0) {
        error = kTimedOut;
    } else {
        int result = 0;
        int length = sizeof result;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &length);
        error = result != 0 ? result : WSAECONNREFUSED;
    }
    closesocket(s);
    return INVALID_SOCKET;
}

}  // namespace

TSocket::~TSocket() { Release(); }

TSocket::TSocket(TSocket&& other) noexcept { *this = std::move(other); }

TSocket& TSocket::operator=(TSocket&& other) noexcept {
    if (this != &other) {
        Release();
        FSocket = std::exchange(other.FSocket, INVALID_SOCKET);
        FInputEvent = std::exchange(other.FInputEvent, nullptr);
        FInterruptEvent = std::exchange(other.FInterruptEvent, nullptr);
        FPeer = std::move(other.FPeer);
    }
    return *this;
}

void TSocket::Release() {
    if (FSocket != INVALID_SOCKET) closesocket(FSocket);
    FSocket = INVALID_SOCKET;
    for (HANDLE* event : {&FInputEvent, &FInterruptEvent})
        if (*event != nullptr) CloseHandle(*event), *event = nullptr;
}

bool TSocket::Valid() const { return FSocket != INVALID_SOCKET; }

bool TSocket::Prepare(int& error) {
    // The input event lets a wait take the interrupt event too; it also
    // keeps the socket non-blocking.
    FInputEvent = WSACreateEvent();
    FInterruptEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (FInputEvent == WSA_INVALID_EVENT || FInterruptEvent == nullptr ||
        WSAEventSelect(FSocket, FInputEvent, FD_READ | FD_CLOSE) != 0) {
        error = WSAGetLastError();
        return false;
    }
    // A request is a few bytes that must go at once (no Nagle).
    const BOOL on = TRUE;
    setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepAlive{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(FSocket, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
    // Linux's TCP_USER_TIMEOUT: data the server leaves unacknowledged ends
    // the connection within 10 s. Winsock's nearest, TCP_MAXRT, came with
    // Vista; XP refuses it and keeps its own retransmission limit, the
    // probes above still finding a host that vanished while the line was
    // idle.
    const DWORD limitSeconds = kUnackedLimitSeconds;
    setsockopt(FSocket, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&limitSeconds), sizeof limitSeconds);
    return true;
}

// Winsock wants one WSAStartup before any call; it stays for the process.
bool TSocket::SocketsReady(int& error, std::string& problem) {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!ready) {
        error = WSASYSNOTREADY;
        problem = "Windows Sockets 2 is not available";
    }
    return ready;
}

bool TSocket::ConnectTo(const addrinfo& candidate, TClock::time_point deadline, int& error) {
    FSocket = ConnectOne(candidate, deadline, error);
    return Valid();
}

bool TSocket::AwaitInput() {
    HANDLE events[2] = {FInterruptEvent, FInputEvent};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return false;
    // Resets the input event; recv re-arms FD_READ while bytes remain.
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(FSocket, FInputEvent, &happened);
    return true;
}

void TSocket::Interrupt() { SetEvent(FInterruptEvent); }

long TSocket::Receive(std::uint8_t* buffer, std::size_t capacity, int& error) {
    const int got = recv(FSocket, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (got > 0) return got;
    if (got == 0) {
        error = kPeerClosed;
        return -1;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    error = WSAGetLastError();
    return -1;
}

bool TSocket::SendAll(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds timeout, int& error,
                      const std::function<bool()>& cancelled) {
    const auto deadline = TClock::now() + timeout;
    std::size_t done = 0;
    while (done < count) {
        const int put = send(FSocket, reinterpret_cast<const char*>(data + done), static_cast<int>(count - done), 0);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
            error = WSAGetLastError();
            return false;
        }
        if (WaitForSingleObject(FInterruptEvent, 0) == WAIT_OBJECT_0 || (cancelled && cancelled())) {
            error = kCancelled;
            return false;
        }
        const long left = MillisecondsLeft(deadline);
        if (left == 0) {
            error = kTimedOut;
            return false;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(FSocket, &writable);
        const long slice = left < kSendSliceMs ? left : kSendSliceMs;
        timeval limit{0, slice * 1000};
        select(0, nullptr, &writable, nullptr, &limit);
    }
    return true;
}

}  // namespace qmx::net
