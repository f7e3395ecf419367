// The answer check on any bytes and any lengths: the first input byte is
// the expected length, the rest the answer, handed over in a buffer of
// exactly its size so that a read past it is caught.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/silo.h"
#include "protocol/attempt_verdict.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::uint8_t expected = data[0];
    std::vector<std::uint8_t> answer(data + 1, data + size);
    answer.shrink_to_fit();
    auto received = static_cast<std::uint8_t>(answer.size());
    const std::uint8_t* bytes = answer.empty() ? nullptr : answer.data();

    const qmx::TAttemptVerdict status = qmx::JudgeAnswer(bytes, received, expected);
    if (status == qmx::TAttemptVerdict::Valid) {
        // Valid means every rule holds.
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < received; ++i) sum ^= bytes[i];
        if (received != expected || received < 2 || bytes[0] != 0x02 || bytes[received - 2] != 0x03 || sum != 0)
            std::abort();
    }
    if (received != expected && status != qmx::TAttemptVerdict::WrongLength) std::abort();

    // The silo's check agrees and leaves both lengths alone.
    static qmx::TSilo silo(3, nullptr, nullptr);
    const std::uint8_t expectedBefore = expected;
    const bool valid = silo.CheckAnswer(17, bytes, 255, received, expected);
    if (valid != (status == qmx::TAttemptVerdict::Valid) || expected != expectedBefore ||
        received != static_cast<std::uint8_t>(answer.size()))
        std::abort();
    return 0;
}
