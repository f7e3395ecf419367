#include "protocol/exchange_record.h"

#include "protocol/request_echo.h"

namespace qmx {

TAttemptRecord& TAttempts::emplace_back() {
    if (FCount == kMaxAttempts) {
        FLetGoFailed += FItems[0].Accepted() ? 0 : 1;
        ++FLetGo;
        std::move(FItems.begin() + 1, FItems.end(), FItems.begin());
        --FCount;
    }
    FItems[FCount] = TAttemptRecord{};
    return FItems[FCount++];
}

void TExchangeRecord::Begin(const std::uint8_t* payload, std::size_t length, std::uint8_t expectedLength) {
    Request.assign(payload, length);
    // A tank number of 00 names no tank.
    const bool named = length == kPayloadLength && HasRequestShape(payload) && *TankNumberOf(payload + 1) != 0;
    Query = named ? static_cast<TQuery>(payload[0]) : TQuery::Level;
    Tank = named ? static_cast<std::uint8_t>(*TankNumberOf(payload + 1) - 1) : 0;
    ExpectedLength = expectedLength;
    Attempts.clear();
    LinkState = 0;
}

TAttemptVerdict TExchangeRecord::Verdict() const {
    return Attempts.empty() ? TAttemptVerdict::NoAnswer : Attempts.back().Verdict;
}

int TExchangeRecord::FailedAttempts() const {
    int failed = Attempts.LetGoFailed();
    for (const auto& attempt : Attempts) failed += attempt.Accepted() ? 0 : 1;
    return failed;
}

}  // namespace qmx
