// Transport routing: every exchange with the gauge passes through Request,
// under the silo's lock, to the host's communication block or to the silo's
// own port, and leaves its outcome in the link state.

#include "driver/connection.h"
#include "driver/live_silos.h"
#include "driver/silo.h"
#include "protocol/frame.h"
#include "protocol/gauge_line.h"

namespace qmx {
namespace {

// What the port passes for the answer address: "the address itself".
constexpr std::int32_t kSameAddress = -1;

// Holds `value` in `slot` for a scope, and nothing after it.
template <class T>
class TScopedValue {
public:
    TScopedValue(std::atomic<T>& slot, T value) : FSlot(slot) { FSlot = value; }
    ~TScopedValue() { FSlot = T{}; }
    TScopedValue(const TScopedValue&) = delete;
    TScopedValue& operator=(const TScopedValue&) = delete;

private:
    std::atomic<T>& FSlot;
};

}  // namespace

bool TSilo::CheckAnswer(std::uint8_t /*address*/, const std::uint8_t* answer,
                        std::int32_t /*value*/, std::uint8_t& receivedLength,
                        std::uint8_t& expectedLength) {
    const TAttemptVerdict verdict = JudgeAnswer(answer, receivedLength, expectedLength);
    // Only a block's host learns the verdicts; its errors go back to it.
    const std::uint8_t type = FConnectionType;
    if (FHost != nullptr && IsCommBlock(type)) FHost->ReportAnswerStatus(type, HostAnswerStatus(verdict));
    // The port knows an answer it takes for valid; a rejection it is told why.
    if (TFramedPort* port = FJudgingPort; port != nullptr && verdict != TAttemptVerdict::Valid)
        port->NoteCheckVerdict(verdict);
    if (TExchangeRecord* record = FBlockRecord) {
        TAttemptRecord& attempt = record->Attempts.emplace_back();
        if (answer != nullptr) attempt.Answer.assign(answer, answer + receivedLength);
        // A host that shows the check nothing got nothing.
        attempt.Verdict = receivedLength == 0 ? TAttemptVerdict::NoAnswer : verdict;
    }
    return verdict == TAttemptVerdict::Valid;
}

std::int32_t TSilo::Request(std::uint8_t* buffer, std::uint8_t payloadLength,
                            std::uint8_t expectedLength, std::int32_t /*further*/) {
    return Exchange(buffer, payloadLength, expectedLength).TransportResult;
}

TExchangeRecord TSilo::Exchange(std::uint8_t* buffer, std::uint8_t payloadLength, std::uint8_t expectedLength) {
    TExchangeRecord record;
    record.TransportResult = kRequestAborted;
    if (payloadLength > kMaxPayload) {
        record.LinkState = FState;
        return record;
    }
    TLockGuard guard(FLock);
    TFrameArea frame;
    const std::uint8_t frameLength = BuildFrame(frame, buffer, payloadLength);
    const std::uint8_t type = FConnectionType;
    try {
        if (FHost != nullptr && IsCommBlock(type)) {
            ExchangeOnBlock(record, frame, frameLength, buffer, expectedLength);
        } else if (FPort != nullptr) {
            ExchangeOnPort(record, frame, frameLength, buffer, expectedLength);
        } else {
            record.Begin(buffer, payloadLength, expectedLength);
            FDevicePresent = false;
            FState = kLinkNoAnswer;
            record.TransportResult = kRequestNoTransport;
        }
    } catch (...) {
        // The link state keeps what it held before the failing call; the
        // result is the transport's when it had given one.
    }
    record.LinkState = FState;
    return record;
}

void TSilo::ExchangeOnBlock(TExchangeRecord& record, const TFrameArea& frame, std::uint8_t frameLength,
                            std::uint8_t* buffer, std::uint8_t expectedLength) {
    const std::uint8_t type = FConnectionType;
    record.Begin(frame.data() + 1, frameLength - 3u, expectedLength);
    FHost->SetAnswerCheck(type, kGaugeAddress, TReachSilo<&TSilo::CheckAnswer>::Bound(this));
    {
        // The check records what the host shows it while the host carries
        // the exchange.
        const TScopedValue<TExchangeRecord*> recording(FBlockRecord, &record);
        record.TransportResult = FHost->Exchange(type, kGaugeAddress, kGaugeAddress, frame.data(), frameLength,
                                                 buffer, expectedLength, 0);
    }
    FState = FHost->GetLineState(LineAddressOf(type));
    FDevicePresent = true;
    // A host that did not carry the exchange out made none, whatever it
    // showed the check.
    if (record.Failed()) record.Attempts.clear();
    // Carried out, without an answer the check took and with nothing it
    // rejected: no answer reached the check.
    if (record.Failed() || FState == kLinkValid || record.Verdict() != TAttemptVerdict::Valid) return;
    if (record.Attempts.empty()) record.Attempts.emplace_back();
    record.Attempts.back().Verdict = TAttemptVerdict::NoAnswer;
}

void TSilo::ExchangeOnPort(TExchangeRecord& record, const TFrameArea& frame, std::uint8_t frameLength,
                           std::uint8_t* buffer, std::uint8_t expectedLength) {
    FPort->SetOnCheckAnswer(TReachSilo<&TSilo::CheckAnswer>::Bound(this));
    {
        // The port's record is the exchange's, however the transaction ends.
        struct TTakeRecord {
            TExchangeRecord& Record;
            TFramedPort& Port;
            ~TTakeRecord() {
                const std::int32_t result = Record.TransportResult;
                Record = Port.LastExchange();
                Record.TransportResult = result;
            }
        } take{record, *FPort};
        const TScopedValue<TFramedPort*> judging(FJudgingPort, FPort.get());
        // What the port made of the transaction is its link state.
        (void)FPort->Transact(kGaugeAddress, frame.data(), frameLength, buffer, expectedLength, 0, kSameAddress);
        record.TransportResult = kRequestCarriedOut;
    }
    FState = FPort->GetLinkState();
    FDevicePresent = FPort->DevicePresent();
}

}  // namespace qmx
