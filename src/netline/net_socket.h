#pragma once

// A connected TCP socket, owned: closed when the object goes. Its reads
// never block; a wait for input ends when bytes (or the peer's close)
// arrive or when another thread interrupts it, so that the thread that
// reads can always be stopped.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#endif

struct addrinfo;

namespace qmx::net {

class TSocket {
public:
    TSocket() = default;
    ~TSocket();
    TSocket(TSocket&& other) noexcept;
    TSocket& operator=(TSocket&& other) noexcept;
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    // Connects to `host` (a name or a literal) on `port`, trying each of its
    // addresses within `timeout` in all. An invalid socket on failure, with
    // the system's error (or kTimedOut) and the words for the user.
    static TSocket Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout,
                           int& error, std::string& problem);
#ifndef _WIN32
    // Takes over a socket the caller accepted (the simulator's server side);
    // an invalid socket, the descriptor closed, when it cannot be set up.
    static TSocket Adopt(int fd);
    // For a caller that waits on it among other things (poll).
    int Fd() const { return FFd; }
#endif

    bool Valid() const;
    // "127.0.0.1 port 2217": the address actually reached.
    const std::string& Peer() const { return FPeer; }

    // Waits until input, or the peer's close, can be read; false once
    // Interrupt was called.
    bool AwaitInput();
    // Ends every wait, now and from now on (from any thread).
    void Interrupt();

    // Bytes read (> 0), 0 when there are none now, or -1 with `error`
    // (kPeerClosed when the peer has closed).
    long Receive(std::uint8_t* buffer, std::size_t capacity, int& error);
    // Sends every byte within `timeout`; false with `error` otherwise
    // (kCancelled once `cancelled`, looked at every few milliseconds while
    // the peer takes nothing, says so).
    bool SendAll(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds timeout, int& error,
                 const std::function<bool()>& cancelled = {});

private:
    // The system's sockets, ready for the first call (Winsock's start-up).
    static bool SocketsReady(int& error, std::string& problem);
    // One try at one address, a non-blocking connect bounded by
    // `deadline`: true once connected, the socket then held.
    bool ConnectTo(const addrinfo& candidate, std::chrono::steady_clock::time_point deadline, int& error);
    void Release();
    bool Prepare(int& error);

#ifdef _WIN32
    SOCKET FSocket = INVALID_SOCKET;
    HANDLE FInputEvent = nullptr;
    HANDLE FInterruptEvent = nullptr;
#else
    int FFd = -1;
    int FWake[2] = {-1, -1};
#endif
    std::string FPeer;
};

}  // namespace qmx::net
