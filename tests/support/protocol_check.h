#pragma once

// The answer check a framed port gets from the silo, without a silo: the
// protocol's own judgement of the collected bytes.

#include "protocol/attempt_verdict.h"
#include "serial/framed_port.h"

namespace qmx::test {

inline TAnswerCheck ProtocolCheck() {
    return TAnswerCheck(
        [](void*, std::uint8_t, const std::uint8_t* answer, std::int32_t, std::uint8_t& received,
           std::uint8_t& expected) { return JudgeAnswer(answer, received, expected) == TAttemptVerdict::Valid; },
        nullptr);
}

}  // namespace qmx::test
