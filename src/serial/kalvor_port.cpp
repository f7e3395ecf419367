#include "serial/kalvor_port.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "protocol/answer_layout.h"
#include "protocol/frame.h"
#include "protocol/gauge_line.h"
#include "protocol/request_echo.h"
#include "serial/gauge_port_line.h"

namespace qmx {

static_assert(std::atomic<TKalvorComPort::TEcho>::is_always_lock_free,
              "the echo passes between the threads without a lock");
namespace {

constexpr std::int32_t kCheckValue = 255;
constexpr DWORD kAnswerWait = 1000;
constexpr DWORD kRetryPause = 70;
constexpr std::int32_t kRetryCount = 3;  // attempts per transaction

// Transact's result: once an attempt has run, and when the device could not
// be opened again for one.
constexpr std::int32_t kAttemptsRun = 0;
constexpr std::int32_t kNoAttempt = 220;

// The status of the last step (FStatus).
constexpr std::int32_t kStatusAccepted = 0;
constexpr std::int32_t kStatusNoOutcome = 100;
constexpr std::int32_t kStatusOutputFailed = 220;
constexpr std::int32_t kStatusRejected = 246;
constexpr std::int32_t kStatusNoAnswer = 247;

// The wait step's status for an attempt that ended so.
std::int32_t PortStatusOf(TAttemptVerdict verdict) {
    switch (LinkStateOf(verdict)) {
        case kLinkValid: return kStatusAccepted;
        case kLinkNoAnswer: return kStatusNoAnswer;
        default: return kStatusRejected;
    }
}

// The longer answer (45 bytes) takes this long on the gauge's line (10 bits
// a character at 9600 baud): a line quiet for that long is carrying no
// answer.
constexpr DWORD kAnswerFrameTime = static_cast<DWORD>(
    (kDensityAnswerLength * CharacterBits(kGaugeLine) * 1000 + kGaugeLine.BaudRate - 1) / kGaugeLine.BaudRate);
static_assert(kAnswerFrameTime == 47, "45 characters of 10 bits at 9600 baud");
// A line that never falls quiet does not hold the next request back longer.
constexpr DWORD kLongestSettle = 1000;
// How often the fast mode looks whether the answer is complete: a fraction
// of one character's time on the line.
constexpr DWORD kFastLook = 1;

TKalvorComPort::TEcho EchoOf(const std::uint8_t* bytes, std::size_t length) {
    TKalvorComPort::TEcho echo;
    echo.Length = static_cast<std::uint8_t>(std::min<std::size_t>(length, kMaxFrameLength));
    std::copy_n(bytes, std::min(length, kEchoLength), echo.Bytes.begin());
    return echo;
}

}  // namespace

TKalvorComPort::TKalvorComPort(std::uint8_t portNumber, TCommApi& api, std::string tracePath)
    : TComPort(portNumber, api, std::move(tracePath)) {
    FLastArrival = Now() - kAnswerFrameTime;
    // The event thread has run since the port opened; this port's own
    // fields stand now, so it may hand over arrived bytes from here on.
    StartArrivals();
    try {
        ApplyLineSettings();
    } catch (...) {
        // Stop the workers while this object still stands, then let the
        // port close the device on the way out.
        Close();
        throw;
    }
    FRxState = TRxState::Idle;
    FStatus = kStatusAccepted;
    FLinkState = kLinkValid;
    Trace().Section(LineName() + ", " + LineText(kGaugeLine) + "; > sent by this program, < received by it");
}

void TKalvorComPort::ApplyLineSettings() { SetGaugeLine(*this); }

bool TKalvorComPort::DevicePresent() { return IsOpen() && !DeviceLost(); }

std::optional<ESerialIO> TKalvorComPort::WhyAbsent() {
    TLockGuard guard(FTxLock);
    if (DevicePresent()) return std::nullopt;
    return FRestoreFailure;
}

bool TKalvorComPort::RestoreDevice() {
    if (DevicePresent()) return true;
    // What the old device left is dropped until the next send.
    FRxState = TRxState::Idle;
    // Not there (yet), or not as it was: the port stays closed, and the
    // next transaction tries once more.
    try {
        Reopen();
        ApplyLineSettings();
        FRestoreFailure.reset();
        return true;
    } catch (const ESerialIO& error) {
        FRestoreFailure = error;
    } catch (const std::exception& error) {
        FRestoreFailure = ESerialIO(error.what());
    }
    Close();
    return false;
}

void TKalvorComPort::AwaitQuietLine() {
    FRxState = TRxState::Idle;
    const DWORD start = Now();
    const DWORD sinceFailure = start - FUnsettledSince;
    const DWORD limit = (sinceFailure < kRetryPause ? kRetryPause - sinceFailure : 0) + kLongestSettle;
    for (;;) {
        const DWORD now = Now();
        const DWORD waited = now - start;
        const DWORD quietFor = now - FLastArrival;
        const DWORD pauseLeft = now - FUnsettledSince < kRetryPause ? kRetryPause - (now - FUnsettledSince) : 0;
        const DWORD quietLeft = quietFor < kAnswerFrameTime ? kAnswerFrameTime - quietFor : 0;
        if ((pauseLeft == 0 && quietLeft == 0) || waited >= limit) break;
        Pause(std::min(std::max(pauseLeft, quietLeft), limit - waited));
    }
    FLineUnsettled = false;
}

void TKalvorComPort::NoteTransactionEnd(bool succeeded) {
    TLockGuard guard(FTxLock);
    FLineUnsettled = !succeeded;
    if (!succeeded) FUnsettledSince = Now();
}

TKalvorComPort::~TKalvorComPort() {
    // The event thread calls DataArrived until the port is stopped.
    Close();
}

void TKalvorComPort::SetLinkState(std::uint8_t state) { FLinkState = state; }

std::uint8_t TKalvorComPort::GetLinkState() { return FLinkState; }

void TKalvorComPort::DataArrived(std::uint16_t count) {
    for (std::uint16_t i = 0; i < count; ++i) ReceiveByte();
    if (count != 0) FLastArrival = Now();
}

void TKalvorComPort::ReceiveByte() {
    const std::uint8_t byte = GetChar();
    switch (FRxState) {
        case TRxState::AwaitingStx:
            if (byte != kSTX) {
                FBytesBeforeStx = FBytesBeforeStx + 1;
                return;
            }
            OpenAnswer();
            return;
        case TRxState::CollectingEcho:
        case TRxState::Collecting:
            // No end-of-frame detection: every byte is kept until the next
            // reset, up to the longest frame.
            KeepByte(byte);
            return;
        case TRxState::SkippingOther:
            if (byte == kETX) FRxState = TRxState::SkippingCheckByte;
            // Payloads are printable: an STX here opens the next frame, the
            // dropped one having broken off.
            else if (byte == kSTX) OpenAnswer();
            return;
        case TRxState::SkippingCheckByte:
            // Whatever its value, an STX included.
            FRxState = TRxState::AwaitingStx;
            return;
        case TRxState::Idle:
        case TRxState::OverLong:
            return;  // discarded
    }
}

void TKalvorComPort::KeepByte(std::uint8_t byte) {
    const std::uint8_t length = FRxLength;
    if (length == kMaxFrameLength) {
        FRxState = TRxState::OverLong;
        return;
    }
    FRxBuffer[length] = byte;
    FRxLength = static_cast<std::uint8_t>(length + 1);
    if (FRxState == TRxState::CollectingEcho && length == kEchoLength) JudgeEcho();
}

void TKalvorComPort::OpenAnswer() {
    // The link state is left to the judgement. Set here, an answer whose
    // STX came just after its attempt was judged silent turned the ended
    // transaction valid, and the silo decoded a reading from a buffer that
    // held no answer.
    FRxBuffer[0] = kSTX;
    FRxLength = 1;
    FRxState = TRxState::CollectingEcho;
}

void TKalvorComPort::JudgeEcho() {
    const std::uint8_t echo[kEchoLength] = {FRxBuffer[1], FRxBuffer[2], FRxBuffer[3]};
    const TEcho awaited = FAwaitedEcho;
    if (!AnswersAnotherRequest(echo, awaited.Bytes.data(), awaited.Length)) {
        FRxState = TRxState::Collecting;
        return;
    }
    FOtherEcho = EchoOf(echo, kEchoLength);
    FOtherAnswers = FOtherAnswers + 1;
    FRxLength = 0;
    FRxState = TRxState::SkippingOther;
}

void TKalvorComPort::ResetReceiver() {
    FRxLength = 0;
    FBytesBeforeStx = 0;
    FOtherAnswers = 0;
    FRxState = TRxState::AwaitingStx;
    FStatus = kStatusNoOutcome;
}

void TKalvorComPort::SendRequest(const std::uint8_t* frame, std::uint8_t frameLength) {
    // What its answer is to repeat, before the receiver awaits it.
    FAwaitedEcho = EchoOf(frame + 1, frameLength >= 3 ? frameLength - 3 : 0);
    ResetReceiver();
    std::copy_n(frame, frameLength, FSendArea.begin());
    try {
        PutBlock(FSendArea.data(), frameLength);
    } catch (const ESerialIO&) {
        // Carried on as if the frame had gone out; the wait finds no answer.
        FStatus = kStatusOutputFailed;
    }
}

void TKalvorComPort::SetFastAnswers(bool on, std::chrono::milliseconds pause) {
    TLockGuard guard(FTxLock);
    FFastAnswers = on;
    FFastPause = static_cast<DWORD>(pause.count());
}

void TKalvorComPort::AwaitAnswerBytes(std::uint8_t expectedLength) {
    if (!FFastAnswers || expectedLength == 0) {
        Pause(kAnswerWait);
        return;
    }
    const DWORD start = Now();
    std::array<std::uint8_t, 256> answer{};
    while (Now() - start < kAnswerWait) {
        std::uint8_t received = FRxLength;
        if (received == expectedLength) {
            for (std::size_t i = 0; i < received; ++i) answer[i] = FRxBuffer[i];
            std::uint8_t expected = expectedLength;
            if (FOnCheckAnswer && FOnCheckAnswer(kGaugeAddress, answer.data(), kCheckValue, received, expected))
                return;
        }
        Pause(std::min<DWORD>(kFastLook, kAnswerWait - (Now() - start)));
    }
}

namespace {

// Why a frame was refused, as the rows name it; for a check byte, the one
// the frame's bytes called for and the one that came.
std::string RejectionText(const TAttemptRecord& attempt) {
    std::string text = VerdictText(attempt.Verdict);
    if (attempt.Verdict != TAttemptVerdict::CheckByte || attempt.Answer.size() < 2) return text;
    std::uint8_t expected = 0;
    for (std::size_t i = 0; i + 1 < attempt.Answer.size(); ++i) expected ^= attempt.Answer[i];
    char bytes[48];
    std::snprintf(bytes, sizeof bytes, " (expected %02X, received %02X)", expected,
                  attempt.Answer[attempt.Answer.size() - 1]);
    return text + bytes;
}

}  // namespace

void TKalvorComPort::TraceAttempt() {
    if (!Trace().IsOpen()) return;
    const TAttemptRecord& attempt = FRecord.Attempts.back();
    const std::size_t received = attempt.Answer.size();
    std::string verdict = "attempt " + std::to_string(FRecord.Attempts.size()) + " of " +
                          std::to_string(kRetryCount) + " (" + FRecord.Request.Text() + "): ";
    const std::string other = attempt.OtherRequest.Text();
    if (received == 0)
        verdict += attempt.OtherAnswers != 0 ? "only answers to another request (" + other + "), rejected"
                                             : "no answer";
    else if (attempt.OverLong)
        verdict += "over-long, past " + std::to_string(kMaxFrameLength) + " bytes from the STX, rejected";
    else
        verdict += std::to_string(received) + " bytes from the STX, " +
                   (attempt.Accepted() ? std::string("accepted") : "rejected: " + RejectionText(attempt));
    if (received != 0 && attempt.OtherAnswers != 0)
        verdict += ", " + std::to_string(attempt.OtherAnswers) + " answer(s) to another request dropped (" + other +
                   ")";
    if (attempt.BytesBeforeStx != 0) verdict += ", " + std::to_string(attempt.BytesBeforeStx) + " bytes before any STX";
    Trace().Note(verdict);
}

TAttemptVerdict TKalvorComPort::VerdictOn(std::uint8_t received, bool accepted) const {
    const TAttemptRecord& attempt = FRecord.Attempts.back();
    if (received == 0) return VerdictWithoutAnswer(attempt.BytesBeforeStx, attempt.OtherAnswers);
    if (attempt.OverLong) return TAttemptVerdict::WrongLength;
    if (accepted) return TAttemptVerdict::Valid;
    if (FCheckVerdict && *FCheckVerdict != TAttemptVerdict::Valid) return *FCheckVerdict;
    // A check that says no more than whether: the frame's own fault, or a
    // sound frame it refused.
    const TAttemptVerdict frame = JudgeAnswer(attempt.Answer.data(), received, FRecord.ExpectedLength);
    return frame == TAttemptVerdict::Valid ? TAttemptVerdict::InvalidValue : frame;
}

std::int32_t TKalvorComPort::AwaitAnswer(std::uint8_t* destination, std::uint8_t expectedLength) {
    AwaitAnswerBytes(expectedLength);
    TAttemptRecord& attempt = FRecord.Attempts.back();
    // The answer as it stands now: the length is taken once, and the check
    // and the copy both see the same bytes, though more may be arriving.
    // Once over-long, the length no longer moves.
    attempt.OverLong = FRxState == TRxState::OverLong;
    std::uint8_t received = FRxLength;
    attempt.BytesBeforeStx = FBytesBeforeStx;
    attempt.OtherAnswers = FOtherAnswers;
    if (attempt.OtherAnswers != 0) {
        const TEcho other = FOtherEcho;
        attempt.OtherRequest.assign(other.Bytes.begin(), other.Bytes.end());
    }
    attempt.JudgedAt = Now();
    if (received == 0) {
        attempt.Verdict = VerdictOn(0, false);
        SetLinkState(LinkStateOf(attempt.Verdict));
        // A frame that never went out explains the silence.
        if (FStatus != kStatusOutputFailed) FStatus = PortStatusOf(attempt.Verdict);
        return FStatus;
    }
    if (destination == nullptr) return FStatus;
    attempt.Answer.resize(received);
    for (std::size_t i = 0; i < received; ++i) attempt.Answer[i] = FRxBuffer[i];
    std::uint8_t expected = expectedLength;
    FCheckVerdict.reset();
    // The check learns the kept length, so it too finds it wrong; an
    // over-long answer fails whatever it says.
    const bool valid = FOnCheckAnswer &&
                       FOnCheckAnswer(kGaugeAddress, attempt.Answer.data(), kCheckValue, received, expected) &&
                       !attempt.OverLong;
    attempt.Verdict = VerdictOn(static_cast<std::uint8_t>(attempt.Answer.size()), valid);
    if (valid) std::copy(attempt.Answer.begin(), attempt.Answer.end(), destination);
    SetLinkState(valid ? kLinkValid : kLinkInvalid);
    FStatus = valid ? kStatusAccepted : kStatusRejected;
    return FStatus;
}

bool TKalvorComPort::Attempt(const std::uint8_t* frame, std::uint8_t frameLength, std::uint8_t* answer,
                             std::uint8_t expectedLength) {
    TLockGuard guard(FTxLock);
    const DWORD sentAt = Now();
    SendRequest(frame, frameLength);
    if (expectedLength == 0) return false;
    TAttemptRecord& attempt = FRecord.Attempts.emplace_back();
    attempt.SentAt = sentAt;
    attempt.SendFailed = FStatus == kStatusOutputFailed;
    std::array<std::uint8_t, 256> area{};
    const bool accepted =
        AwaitAnswer(area.data(), expectedLength) == kStatusAccepted && GetLinkState() == kLinkValid;
    const auto kept = std::min<std::size_t>(expectedLength, FRecord.Attempts.back().Answer.size());
    if (accepted) std::copy_n(area.begin(), kept, answer);
    FLastAttemptEnd = Now();
    TraceAttempt();
    return accepted;
}

std::int32_t TKalvorComPort::Transact(std::uint8_t /*address*/, const std::uint8_t* frame,
                                         std::uint8_t frameLength, std::uint8_t* answer,
                                         std::uint8_t expectedLength, std::uint8_t /*further*/,
                                         std::int32_t /*answerAddress*/) {
    {
        TLockGuard guard(FTxLock);
        FRecord.Begin(frame + 1, frameLength >= 3 ? frameLength - 3u : 0u, expectedLength);
        if (!RestoreDevice()) {
            // No device, no wait: the line is as good as silent.
            SetLinkState(kLinkNoAnswer);
            FRecord.LinkState = kLinkNoAnswer;
            return kNoAttempt;
        }
        if (FLineUnsettled) AwaitQuietLine();
    }
    // The fast mode keeps the quiet time a gauge may need between an answer
    // and the next request. The quiet so far is read once: read twice, a
    // thread held up between the readings would pause 2^32 ms less a few.
    // The clock counts whole milliseconds, so it may show up to one more
    // than has passed: the pause takes that one too.
    if (const DWORD quiet = Now() - FLastAttemptEnd; FFastAnswers && quiet < FFastPause)
        Pause(FFastPause - quiet + 1);
    bool succeeded = false;
    // However the transaction ends, the next one learns whether the line
    // may still carry an answer of this one's, and the record its outcome.
    struct TEnd {
        TKalvorComPort& Port;
        const bool& Succeeded;
        const bool Judged;
        ~TEnd() {
            Port.FRecord.LinkState = Port.GetLinkState();
            if (Judged) Port.NoteTransactionEnd(Succeeded);
        }
    } end{*this, succeeded, expectedLength != 0};
    for (std::int32_t attempt = 1;; ++attempt) {
        try {
            succeeded = Attempt(frame, frameLength, answer, expectedLength);
        } catch (...) {
            if (attempt >= kRetryCount) throw;
            Pause(kRetryPause);
            continue;
        }
        // Without an expected answer there is nothing to judge or retry.
        if (expectedLength == 0) return kAttemptsRun;
        // Outside the transmit lock: the watcher may take its own.
        if (FAttemptWatch) FAttemptWatch(FRecord);
        if (succeeded || attempt >= kRetryCount) return kAttemptsRun;
        Pause(kRetryPause);
    }
}

}  // namespace qmx
