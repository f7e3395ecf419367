#pragma once

// Each attempt of a framed port's transaction as it ended, for a tool that
// tells the technician why an exchange failed. The port reports; judging
// the bytes is the protocol's.

#include <array>
#include <cstddef>
#include <cstdint>

namespace qmx {

struct TAttemptReport {
    const std::uint8_t* Bytes = nullptr;  // collected from the STX on
    std::size_t Length = 0;
    std::size_t BytesBeforeStx = 0;       // dropped while awaiting the STX
    bool Accepted = false;                // the answer check took it
    // Frames dropped as answers to another request, and the request the
    // last of them answered (its first characters, "L04").
    std::size_t OtherAnswers = 0;
    std::array<std::uint8_t, 3> OtherRequest{};
};

class TAttemptListener {
public:
    // Called on the transacting thread once an attempt has been judged (or
    // has found nothing to judge), before the next one starts.
    virtual void AttemptEnded(const TAttemptReport& report) = 0;

protected:
    ~TAttemptListener() = default;
};

}  // namespace qmx
