#pragma once

// The host communication service: the host's object through which it lends
// its three communication blocks. The silo calls it, never owns it and never
// releases it. Any operation may throw; the silo decides, call by call,
// which errors it drops.

#include <cstdint>

#include "platform/method_ref.h"
#include "serial/framed_port.h"

namespace qmx {

// The line set-up routine the silo registers: one 8-bit argument, ignored.
using TLineSetup = TMethodRef<void(std::uint8_t)>;

class THostCommService {
public:
    // Link state of the line (1, 2 or 3), taken by the silo as it comes.
    virtual std::uint8_t GetLineState(std::uint8_t lineAddress) = 0;

    // The check the block's answers are to be judged with.
    virtual void SetAnswerCheck(std::uint8_t blockIndex, std::uint8_t address,
                                TAnswerCheck check) = 0;

    // One exchange on the block: 0 when it was carried out, the answer then
    // standing in `answer`; any other value is a failure.
    virtual std::int32_t Exchange(std::uint8_t blockIndex, std::uint8_t address,
                                  std::uint8_t answerAddress, const std::uint8_t* frame,
                                  std::uint8_t frameLength, std::uint8_t* answer,
                                  std::uint8_t expectedLength, std::int32_t reserved) = 0;

    virtual void SetLineParams(std::uint8_t lineAddress, std::int32_t p1, std::int32_t baudRate,
                               std::int32_t p3, std::int32_t p4, std::int32_t p5) = 0;

    // The service may call `setup` again at any time to re-apply the line set-up.
    virtual void RegisterLineSetup(std::uint8_t lineAddress, TLineSetup setup) = 0;

    virtual void ReportAnswerStatus(std::uint8_t blockIndex, std::uint8_t status) = 0;

protected:
    // The host owns the service: nothing in the driver deletes it.
    ~THostCommService() = default;
};

}  // namespace qmx
