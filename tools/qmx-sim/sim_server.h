#pragma once

// Plays a TGauge on a serial line (a tty or a pty's master end): reads
// requests as they come and writes the answers, with the timing each fault
// asks for. Runs on a thread of its own until stopped.

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "gauge.h"
#include "serial/wire_trace.h"

namespace qmx::sim {

class TSimServer {
public:
    // Serves `gauge` on `fd`, which stays the caller's. `trace` may be null.
    TSimServer(TGauge& gauge, int fd, TWireTrace* trace = nullptr);
    ~TSimServer();
    TSimServer(const TSimServer&) = delete;
    TSimServer& operator=(const TSimServer&) = delete;

    void Stop();
    // Requests received so far, well-formed or not answered alike.
    int Requests() const { return FRequests; }
    // Changes to the gauge while serving go through here.
    template <class F>
    void WithGauge(F change) {
        std::lock_guard lock(FGaugeMutex);
        change(FGauge);
    }

private:
    void Run();
    void Send(const TReply& reply);
    // Sleeps, unless a stop is requested first; false then.
    bool Pause(int milliseconds);

    TGauge& FGauge;
    std::mutex FGaugeMutex;
    const int FFd;
    TWireTrace* FTrace;
    int FWake[2] = {-1, -1};
    std::atomic<bool> FStopping{false};
    std::atomic<int> FRequests{0};
    const std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
    std::thread FThread;
};

}  // namespace qmx::sim
