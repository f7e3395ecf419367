#pragma once

// A line on COMn through the library's own serial port, with the gauge's
// line settings: the simulator's end on Windows, where no pty exists.

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "serial/com_port.h"
#include "sim_line.h"

namespace qmx::sim {

class TComLine final : public TComPort, public TSimLine {
public:
    // Opens COM`portNumber` on the gauge's line; raises the serial layer's
    // error when it cannot.
    explicit TComLine(std::uint16_t portNumber, TCommApi& api = PlatformComm());
    ~TComLine() override;

    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) override;
    std::size_t Send(const std::uint8_t* data, std::size_t count) override;
    bool Rest(std::chrono::microseconds duration) override;
    void Interrupt() override;

    void DataArrived(std::uint16_t count) override;

private:
    // Set by arrivals and by Interrupt (auto-reset): what Receive waits on.
    TEvent FArrived;
    // Set once by Interrupt (manual reset): what Rest waits on.
    TEvent FInterruptEvent;
    std::atomic<bool> FInterrupted{false};
};

}  // namespace qmx::sim
