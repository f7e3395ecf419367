#pragma once

// A listening TCP socket for the simulator's network gauge and the reader's
// exporter (Linux): bound to loopback unless another address is named, on
// a given port or, for port 0, on any free one.

#include <cstdint>
#include <string>

struct addrinfo;

namespace qmx::net {

class TListener {
public:
    TListener() = default;
    ~TListener();
    TListener(TListener&& other) noexcept;
    TListener& operator=(TListener&& other) noexcept;
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    // Listens on `host` (empty: 127.0.0.1) and `port`; an invalid listener
    // with the problem said otherwise.
    static TListener Listen(const std::string& host, std::uint16_t port, std::string& problem);
    // The same on a numeric host, with room for `backlog` connections not
    // yet accepted; an invalid listener with the system's error otherwise.
    static TListener Bind(const std::string& host, std::uint16_t port, int backlog, int& error);

    bool Valid() const { return FFd >= 0; }
    int Fd() const { return FFd; }
    // The address bound, as a URL's host and port take it: 127.0.0.1, [::1].
    const std::string& Host() const { return FHost; }
    std::uint16_t Port() const { return FPort; }
    // A connection that is waiting, or -1; the caller owns it.
    int Accept();

private:
    // Listening on the first of `candidates` that can be bound.
    static TListener Bound(const addrinfo* candidates, int backlog, int& error);

    int FFd = -1;
    std::string FHost;
    std::uint16_t FPort = 0;
};

}  // namespace qmx::net
