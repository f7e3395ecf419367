#pragma once

// The simulator's line as a device server's network port (Linux): it
// listens, serves one client at a time, and a client that connects
// replaces the one before (as ser2net's kickolduser does). With RFC 2217
// it answers the client's settings and records them; raw TCP carries the
// bytes as they are.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "netline/net_address.h"
#include "netline/net_listener.h"
#include "netline/net_socket.h"
#include "netline/rfc2217_answerer.h"
#include "platform/recursive_lock.h"
#include "serial/wire_trace.h"
#include "sim_line.h"

namespace qmx::sim {

class TSocketLine final : public TSimLine {
public:
    // Listens on `address` (loopback when it names no host); raises
    // std::runtime_error with the reason when it cannot. `trace` may be null.
    TSocketLine(const net::TNetAddress& address, bool refuseSettings, TWireTrace* trace = nullptr);
    ~TSocketLine() override;
    TSocketLine(const TSocketLine&) = delete;
    TSocketLine& operator=(const TSocketLine&) = delete;

    // The address clients reach, its port the one bound: rfc2217://127.0.0.1:40217.
    std::string Name() const;
    // What the present (or last) client set.
    net::TLineSettings Settings();
    int Clients() const { return FClients; }
    // Drops the present client, as a server that restarts would (for tests).
    void DropClient();

    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) override;
    std::size_t Send(const std::uint8_t* data, std::size_t count) override;
    bool Rest(std::chrono::microseconds duration) override;
    void Interrupt() override;
    int Connection() const override { return FClients; }

private:
    void TakeClient();
    void CloseClient();
    bool SendWire(const std::vector<std::uint8_t>& wire);
    // While a send waits on a client that takes nothing: true when the
    // client is to be let go (another client came, a drop was asked) or
    // the line was interrupted.
    bool LetGo() const;
    void Note(const std::string& text);

    const net::TNetAddress::TKind FKind;
    const bool FRefuseSettings;
    TWireTrace* const FTrace;
    net::TListener FListener;
    net::TSocket FClient;
    // The present client's, or the last one's until the next comes; the
    // lock keeps its replacement from a test that reads the settings.
    TRecursiveLock FAnswererLock;
    std::unique_ptr<net::TRfc2217Answerer> FAnswerer;
    std::vector<std::uint8_t> FPending;  // the line's bytes not yet handed over
    int FWake[2] = {-1, -1};
    std::atomic<bool> FInterrupted{false};
    std::atomic<bool> FDropRequested{false};
    std::atomic<int> FClients{0};
};

}  // namespace qmx::sim
