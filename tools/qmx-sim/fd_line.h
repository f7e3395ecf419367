#pragma once

// A line on a file descriptor (a pty's master, a tty), with a pipe that
// ends its waits.

#include <atomic>

#include "sim_line.h"

namespace qmx::sim {

class TFdLine final : public TSimLine {
public:
    // `fd` stays the caller's; it is made non-blocking.
    explicit TFdLine(int fd);
    ~TFdLine() override;
    TFdLine(const TFdLine&) = delete;
    TFdLine& operator=(const TFdLine&) = delete;

    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) override;
    std::size_t Send(const std::uint8_t* data, std::size_t count) override;
    bool Rest(std::chrono::microseconds duration) override;
    void Interrupt() override;

private:
    const int FFd;
    int FWake[2] = {-1, -1};
    std::atomic<bool> FInterrupted{false};
};

}  // namespace qmx::sim
