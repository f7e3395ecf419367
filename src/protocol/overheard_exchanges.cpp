#include "protocol/overheard_exchanges.h"

#include <algorithm>

#include "protocol/frame.h"
#include "protocol/request_echo.h"

namespace qmx {
namespace {

constexpr std::size_t kRequestLength = kPayloadLength + 3;

bool IsRequestFrame(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kRequestLength || bytes[0] != kSTX || bytes[kRequestLength - 2] != kETX) return false;
    if (!HasRequestShape(&bytes[1])) return false;
    std::uint8_t sum = 0;
    for (auto byte : bytes) sum ^= byte;
    return sum == 0;
}

// Where a frame that answers another request ends, as the port skips it:
// after its ETX and check byte, or at an STX that opens the next frame.
std::size_t SkipOther(const std::vector<std::uint8_t>& bytes, std::size_t stx) {
    for (std::size_t at = stx + 1 + kEchoLength; at < bytes.size(); ++at) {
        if (bytes[at] == kSTX) return at;
        if (bytes[at] == kETX) return std::min(at + 2, bytes.size());
    }
    return bytes.size();
}

// Whether the first frame from `from` on answers another request.
bool AnotherRequestsAnswer(const std::vector<std::uint8_t>& bytes, std::size_t from, const TPayload& payload) {
    const std::size_t stx =
        static_cast<std::size_t>(std::find(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), kSTX) -
                                 bytes.begin());
    return stx + kEchoLength < bytes.size() && AnswersAnotherRequest(&bytes[stx + 1], payload.data(), kPayloadLength);
}

// How many frames in `bytes` answer `payload`'s request.
std::size_t AnswersTo(const std::vector<std::uint8_t>& bytes, const TPayload& payload) {
    std::size_t answers = 0;
    for (std::size_t at = 0; at + kEchoLength < bytes.size(); ++at)
        if (bytes[at] == kSTX && std::equal(payload.begin(), payload.end(), &bytes[at + 1])) ++answers;
    return answers;
}

// What an attempt collected of `bytes` as the port collects it: the bytes
// before any STX, the frames that answer another request dropped, and its
// answer from the STX on. Returns where the answer begins.
std::size_t Collect(const std::vector<std::uint8_t>& bytes, const TPayload& payload, TAttemptRecord& attempt) {
    std::size_t at = 0;
    for (;;) {
        for (; at < bytes.size() && bytes[at] != kSTX; ++at) ++attempt.BytesBeforeStx;
        if (at + kEchoLength >= bytes.size() || !AnswersAnotherRequest(&bytes[at + 1], payload.data(), kPayloadLength))
            break;
        ++attempt.OtherAnswers;
        attempt.OtherRequest.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + 1 + kEchoLength));
        at = SkipOther(bytes, at);
    }
    attempt.Answer.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    return at;
}

}  // namespace

std::vector<TOverheardExchange> TExchangeSplitter::Feed(TLineSide side, const std::uint8_t* data, std::size_t count,
                                                        double at) {
    std::vector<TOverheardExchange> ended;
    // A side of its own is the host's or the gauge's whole, request or not.
    if (side != TLineSide::Both) Observe(side == TLineSide::Host, data, count);
    for (std::size_t i = 0; i < count; ++i) Take(data[i], at, side != TLineSide::Gauge, side != TLineSide::Host, ended);
    return ended;
}

std::vector<TOverheardExchange> TExchangeSplitter::Tick(double now) {
    std::vector<TOverheardExchange> ended;
    if (FOpen && now - FOpen->RequestEnd > kExchangeQuietSeconds) {
        End(Judge(*FOpen, false), *FOpen, ended);
        FOpen.reset();
    }
    if (FHeld && !FOpen) ended.push_back(Decided());
    return ended;
}

std::vector<TOverheardExchange> TExchangeSplitter::Finish() {
    if (!FHeld) return {};
    if (FOpen) NoteAnswersToHeld(*FOpen);
    return {Decided()};
}

void TExchangeSplitter::Take(std::uint8_t byte, double at, bool mayBeRequest, bool toAttempt,
                             std::vector<TOverheardExchange>& ended) {
    if (toAttempt && FOpen) {
        FOpen->Bytes.push_back(byte);
        FOpen->Times.push_back(at);
    }
    if (!mayBeRequest) return;
    FTail.push_back(byte);
    if (FTail.size() > kRequestLength) {
        FTail.erase(FTail.begin());
        FTailObserved -= FTailObserved != 0 ? 1 : 0;
    }
    if (!IsRequestFrame(FTail)) {
        if (toAttempt) ObserveSettled();
        return;
    }
    if (toAttempt && FOpen) {
        const std::size_t mixed = std::min(kRequestLength, FOpen->Bytes.size());
        FOpen->Bytes.resize(FOpen->Bytes.size() - mixed);
        FOpen->Times.resize(FOpen->Times.size() - mixed);
    }
    if (toAttempt) Observe(true, FTail.data(), FTail.size());
    const TPayload payload{FTail[1], FTail[2], FTail[3]};
    FTail.clear();
    FTailObserved = 0;
    Request(payload, at, ended);
}

void TExchangeSplitter::Request(const TPayload& payload, double at, std::vector<TOverheardExchange>& ended) {
    ++FRequests;
    FLastRequestAt = at;
    if (FOpen) {
        // The driver waits out the second unless it has taken a whole,
        // valid answer: a host that asks sooner has taken one.
        const TOverheardExchange judged = Judge(*FOpen, at - FOpen->RequestEnd < kAnswerWindowSeconds);
        // The driver asks again only when its answer did not pass.
        if (FOpen->Payload == payload && !judged.Record.Accepted() &&
            judged.Record.Attempts.size() < kAttemptsPerExchange) {
            FOpen->Earlier.push_back(judged.Record.Attempts.back());
            if (judged.Late && !FOpen->LateDelay) FOpen->LateDelay = judged.DelaySeconds;
            if (FHeld) NoteAnswersToHeld(*FOpen);
            FOpen->RequestEnd = at;
            FOpen->Bytes.clear();
            FOpen->Times.clear();
            return;
        }
        End(judged, *FOpen, ended);
    }
    FOpen = TPending{payload, {}, at, at, std::nullopt, {}, {}};
}

TOverheardExchange TExchangeSplitter::Judge(const TPending& pending, bool takenWhenWhole) const {
    TOverheardExchange judged;
    TExchangeRecord& record = judged.Record;
    const TQuery query = static_cast<TQuery>(pending.Payload[0]);
    record.Begin(pending.Payload.data(), kPayloadLength, AnswerLength(query));
    record.Attempts = pending.Earlier;
    judged.RequestedAt = pending.FirstAt;
    // The driver takes what came within the second; later bytes are waited
    // out before its next request.
    const auto late = std::upper_bound(pending.Times.begin(), pending.Times.end(),
                                       pending.RequestEnd + kAnswerWindowSeconds);
    const std::vector<std::uint8_t> bytes(pending.Bytes.begin(), pending.Bytes.begin() + (late - pending.Times.begin()));
    const std::size_t at = Collect(bytes, pending.Payload, record.Attempts.emplace_back());
    TAttemptRecord& attempt = record.Attempts.back();
    const std::size_t expected = record.ExpectedLength;
    // Bytes after an answer taken whole came too late for the driver.
    if (takenWhenWhole && attempt.Answer.size() > expected &&
        JudgeAnswer(attempt.Answer.data(), static_cast<std::uint8_t>(expected), static_cast<std::uint8_t>(expected)) ==
            TAttemptVerdict::Valid)
        attempt.Answer.resize(expected);
    const std::size_t received = attempt.Answer.size();
    attempt.Verdict =
        JudgeAttempt(attempt.Answer.data(), received, expected, attempt.BytesBeforeStx, attempt.OtherAnswers);
    record.LinkState = LinkStateOf(attempt.Verdict);
    judged.InTime = received != 0;
    if (received != 0) judged.DelaySeconds = pending.Times[at] - pending.RequestEnd;
    // A late answer to the request before is none of this one's.
    else if (late != pending.Times.end() &&
             !AnotherRequestsAnswer(pending.Bytes, static_cast<std::size_t>(late - pending.Times.begin()),
                                    pending.Payload))
        judged.DelaySeconds = *late - pending.RequestEnd;
    judged.Late = pending.LateDelay || (received == 0 && judged.DelaySeconds);
    if (pending.LateDelay) judged.DelaySeconds = pending.LateDelay;
    return judged;
}

// The exchange held back is decided before the one after it: an answer taken
// after the host asked again, more than a second after its first request,
// may have been the late answer to that one.
void TExchangeSplitter::End(const TOverheardExchange& judged, const TPending& pending,
                            std::vector<TOverheardExchange>& ended) {
    if (FHeld) {
        NoteAnswersToHeld(pending);
        ended.push_back(Decided());
    }
    const double answerAt = pending.RequestEnd + judged.DelaySeconds.value_or(0);
    if (!judged.Record.Accepted() || judged.Late || pending.Earlier.empty() || answerAt - pending.FirstAt <= kAnswerWindowSeconds) {
        ended.push_back(judged);
        return;
    }
    // Its own bytes after the answer taken may hold the next answer already.
    FHeld = THeld{judged, pending.Payload, answerAt, AnswersTo(pending.Bytes, pending.Payload) > 1};
}

// Only an answer to another request than its own: the same request asked
// anew could be answered by it.
void TExchangeSplitter::NoteAnswersToHeld(const TPending& next) {
    if (next.Payload != FHeld->Payload && AnswersTo(next.Bytes, FHeld->Payload) != 0) FHeld->AnsweredAgain = true;
}

TOverheardExchange TExchangeSplitter::Decided() {
    TOverheardExchange decided = FHeld->Exchange;
    if (FHeld->AnsweredAgain) {
        decided.Late = true;
        decided.InTime = false;
        decided.DelaySeconds = FHeld->AnswerAt - decided.RequestedAt;
    }
    FHeld.reset();
    return decided;
}

void TExchangeSplitter::Observe(bool fromHost, const std::uint8_t* data, std::size_t count) {
    if (FObserver && count != 0) FObserver(fromHost, data, count);
}

// The tail's bytes that can no longer begin a request go to the observer.
void TExchangeSplitter::ObserveSettled() {
    std::size_t settled = FTail.size();
    for (std::size_t at = FTail.size(); at-- > FTailObserved && FTail.size() - at < kRequestLength;)
        if (FTail[at] == kSTX) settled = at;
    if (settled > FTailObserved) Observe(false, &FTail[FTailObserved], settled - FTailObserved);
    FTailObserved = std::max(FTailObserved, settled);
}

}  // namespace qmx
