// Transport routing: every exchange with the gauge passes through Request,
// under the silo's lock, to the host's communication block or to the silo's
// own port, and leaves its outcome in the link state.

#include "driver/connection.h"
#include "driver/live_silos.h"
#include "driver/silo.h"
#include "driver/silo_metrics.h"
#include "protocol/frame.h"
#include "protocol/gauge_line.h"

namespace qmx {
namespace {

// What the port passes for the answer address: "the address itself".
constexpr std::int32_t kSameAddress = -1;

}  // namespace

bool TSilo::CheckAnswer(std::uint8_t /*address*/, const std::uint8_t* answer,
                        std::int32_t /*value*/, std::uint8_t& receivedLength,
                        std::uint8_t& expectedLength) {
    const TAnswerStatus status = JudgeAnswer(answer, receivedLength, expectedLength);
    // Only a block's host learns the verdicts; its errors go back to it.
    const std::uint8_t type = FConnectionType;
    if (FMetrics) FMetrics->Witness().Checked(status, receivedLength);
    if (FHost != nullptr && IsCommBlock(type))
        FHost->ReportAnswerStatus(type, static_cast<std::uint8_t>(status));
    return status == TAnswerStatus::Valid;
}

std::int32_t TSilo::Request(std::uint8_t* buffer, std::uint8_t payloadLength,
                            std::uint8_t expectedLength, std::int32_t /*further*/) {
    return Exchange(buffer, payloadLength, expectedLength).Result;
}

TExchangeOutcome TSilo::Exchange(std::uint8_t* buffer, std::uint8_t payloadLength, std::uint8_t expectedLength) {
    if (payloadLength > kMaxPayload) return {kRequestAborted, FState};

    TLockGuard guard(FLock);
    TFrameArea frame;
    const std::uint8_t frameLength = BuildFrame(frame, buffer, payloadLength);
    const std::uint8_t type = FConnectionType;
    std::int32_t result = kRequestAborted;
    const bool ownPort = !(FHost != nullptr && IsCommBlock(type)) && FPort != nullptr;
    if (FMetrics) {
        FMetrics->Witness().Begin(static_cast<TQuery>(buffer[0]), expectedLength, ownPort);
        if (ownPort) FPort->SetAttemptListener(&FMetrics->Witness());
    }
    try {
        if (FHost != nullptr && IsCommBlock(type)) {
            FHost->SetAnswerCheck(type, kGaugeAddress, TReachSilo<&TSilo::CheckAnswer>::Bound(this));
            result = FHost->Exchange(type, kGaugeAddress, kGaugeAddress, frame.data(), frameLength, buffer,
                                     expectedLength, 0);
            FState = FHost->GetLineState(LineAddressOf(type));
            FDevicePresent = true;
        } else if (FPort != nullptr) {
            FPort->SetOnCheckAnswer(TReachSilo<&TSilo::CheckAnswer>::Bound(this));
            // What the port made of the transaction is its link state.
            (void)FPort->Transact(kGaugeAddress, frame.data(), frameLength, buffer, expectedLength, 0, kSameAddress);
            result = kRequestCarriedOut;
            FState = FPort->GetLinkState();
            FDevicePresent = FPort->DevicePresent();
        } else {
            FDevicePresent = false;
            FState = kLinkNoAnswer;
            result = kRequestNoTransport;
        }
    } catch (...) {
        // The link state keeps what it held before the failing call; the
        // result is the transport's when it had given one.
    }
    if (!FMetrics) return {result, FState, {}};
    if (ownPort) FPort->SetAttemptListener(nullptr);
    const bool carriedOut = result == kRequestCarriedOut && (ownPort || (FHost != nullptr && IsCommBlock(type)));
    return {result, FState, FMetrics->Witness().End(carriedOut, FState == kLinkValid)};
}

}  // namespace qmx
