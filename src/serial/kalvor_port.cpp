#include "serial/kalvor_port.h"

#include <algorithm>
#include <string>
#include <utility>

#include "protocol/frame.h"
#include "protocol/gauge_line.h"
#include "protocol/request_echo.h"

namespace qmx {

static_assert(std::atomic<TKalvorComPort::TEcho>::is_always_lock_free,
              "the echo passes between the threads without a lock");
namespace {

constexpr std::int32_t kCheckValue = 255;
constexpr DWORD kAnswerWait = 1000;
constexpr DWORD kRetryPause = 70;
constexpr std::int32_t kRetryCount = 3;  // attempts per transaction

// The longer answer (45 bytes) takes this long on the line at 9600 baud with
// 10 bits a character (start, 7 data, parity, stop): a line quiet for that
// long is carrying no answer.
constexpr DWORD kAnswerFrameTime = (45 * 10 * 1000 + 9600 - 1) / 9600;
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
    FStatus = TExchangeStatus::Accepted;
    FLinkState = kLinkValid;
    Trace().Section(LineName() + ", " + std::to_string(kGaugeBaudRate) +
                    " baud 7E1, RTS low; > sent by this program, < received by it");
}

void TKalvorComPort::ApplyLineSettings() {
    SetParity(EVENPARITY);
    SetDataBits(7);
    SetStopBits(1);
    Purge();
    EscapeComm(CLRRTS);
    SetBaudRate(kGaugeBaudRate);
}

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
    SetLinkState(kLinkValid);
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
    FStatus = TExchangeStatus::NoOutcome;
}

void TKalvorComPort::SendRequest(const std::uint8_t* frame, std::uint8_t frameLength) {
    // What its answer is to repeat, before the receiver awaits it.
    FAwaitedEcho = EchoOf(frame + 1, frameLength >= 3 ? frameLength - 3 : 0);
    ResetReceiver();
    std::copy_n(frame, frameLength, FSendArea.begin());
    FSentLength = frameLength;
    try {
        PutBlock(FSendArea.data(), frameLength);
    } catch (const ESerialIO&) {
        // Carried on as if the frame had gone out; the wait finds no answer.
        FStatus = TExchangeStatus::OutputFailed;
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

void TKalvorComPort::ReportAttempt(bool accepted) {
    FLastAttemptEnd = Now();
    ++FAttemptNumber;
    if (Trace().IsOpen()) {
        // The payload, between the STX and the ETX, names the request.
        const auto payloadEnd = FSendArea.begin() + std::max<std::ptrdiff_t>(FSentLength - 2, 1);
        const std::string request(FSendArea.begin() + 1, payloadEnd);
        std::string verdict = "attempt " + std::to_string(FAttemptNumber) + " of " + std::to_string(kRetryCount) +
                              " (" + request + "): ";
        const std::uint32_t others = FOtherAnswers;
        const TEcho other = FOtherEcho;
        const std::string otherName(other.Bytes.begin(), other.Bytes.end());
        if (FJudgedLength == 0)
            verdict += others != 0 ? "only answers to another request (" + otherName + "), rejected" : "no answer";
        else if (FJudgedOverLong)
            verdict += "over-long, past " + std::to_string(kMaxFrameLength) + " bytes from the STX, rejected";
        else
            verdict += std::to_string(FJudgedLength) + " bytes from the STX, " +
                       (accepted ? "accepted" : "rejected by the check");
        if (FJudgedLength != 0 && others != 0)
            verdict += ", " + std::to_string(others) + " answer(s) to another request dropped (" + otherName + ")";
        if (FBytesBeforeStx != 0) verdict += ", " + std::to_string(FBytesBeforeStx) + " bytes before any STX";
        Trace().Note(verdict);
    }
    if (FAttemptListener == nullptr) return;
    TAttemptReport report;
    report.Bytes = FJudgedBytes.data();
    report.Length = FJudgedLength;
    report.BytesBeforeStx = FBytesBeforeStx;
    report.Accepted = accepted;
    report.OtherAnswers = FOtherAnswers;
    report.OtherRequest = FOtherEcho.load().Bytes;
    FAttemptListener->AttemptEnded(report);
}

TExchangeStatus TKalvorComPort::AwaitAnswer(std::uint8_t* destination, std::uint8_t expectedLength) {
    AwaitAnswerBytes(expectedLength);
    // The answer as it stands now: the length is taken once, and the check
    // and the copy both see the same bytes, though more may be arriving.
    // Once over-long, the length no longer moves.
    FJudgedOverLong = FRxState == TRxState::OverLong;
    std::uint8_t received = FRxLength;
    FJudgedLength = received;
    if (received == 0 && FOtherAnswers != 0) {
        // Answers came, none to this request.
        SetLinkState(kLinkInvalid);
        FStatus = TExchangeStatus::Rejected;
        return FStatus;
    }
    if (received == 0) {
        SetLinkState(kLinkNoAnswer);
        // A frame that never went out explains the silence.
        if (FStatus != TExchangeStatus::OutputFailed) FStatus = TExchangeStatus::NoAnswer;
        return FStatus;
    }
    if (destination == nullptr) return FStatus;
    std::array<std::uint8_t, 256>& answer = FJudgedBytes;
    for (std::size_t i = 0; i < received; ++i) answer[i] = FRxBuffer[i];
    std::uint8_t expected = expectedLength;
    // The check learns the kept length, so it too finds it wrong; an
    // over-long answer fails whatever it says.
    const bool valid = FOnCheckAnswer &&
                       FOnCheckAnswer(kGaugeAddress, answer.data(), kCheckValue, received, expected) &&
                       !FJudgedOverLong;
    if (valid) {
        std::copy_n(answer.begin(), FJudgedLength, destination);
        SetLinkState(kLinkValid);
        FStatus = TExchangeStatus::Accepted;
    } else {
        SetLinkState(kLinkInvalid);
        FStatus = TExchangeStatus::Rejected;
    }
    return FStatus;
}

bool TKalvorComPort::Attempt(const std::uint8_t* frame, std::uint8_t frameLength, std::uint8_t* answer,
                             std::uint8_t expectedLength) {
    TLockGuard guard(FTxLock);
    SendRequest(frame, frameLength);
    if (expectedLength == 0) return false;
    std::array<std::uint8_t, 256> area{};
    const bool accepted =
        AwaitAnswer(area.data(), expectedLength) == TExchangeStatus::Accepted && GetLinkState() == kLinkValid;
    if (accepted) std::copy_n(area.begin(), std::min(expectedLength, FJudgedLength), answer);
    ReportAttempt(accepted);
    return accepted;
}

TExchangeStatus TKalvorComPort::Transact(std::uint8_t /*address*/, const std::uint8_t* frame,
                                         std::uint8_t frameLength, std::uint8_t* answer,
                                         std::uint8_t expectedLength, std::uint8_t /*further*/,
                                         std::int32_t /*answerAddress*/) {
    {
        TLockGuard guard(FTxLock);
        if (!RestoreDevice()) {
            // No device, no wait: the line is as good as silent.
            SetLinkState(kLinkNoAnswer);
            FStatus = TExchangeStatus::OutputFailed;
            return FStatus;
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
    // may still carry an answer of this one's.
    struct TEnd {
        TKalvorComPort& Port;
        const bool& Succeeded;
        const bool Judged;
        ~TEnd() {
            if (Judged) Port.NoteTransactionEnd(Succeeded);
        }
    } end{*this, succeeded, expectedLength != 0};
    FAttemptNumber = 0;
    for (std::int32_t attempt = 1;; ++attempt) {
        try {
            succeeded = Attempt(frame, frameLength, answer, expectedLength);
        } catch (...) {
            if (attempt >= kRetryCount) throw;
            Pause(kRetryPause);
            continue;
        }
        // Without an expected answer there is nothing to judge or retry.
        if (succeeded || expectedLength == 0 || attempt >= kRetryCount) return FStatus;
        Pause(kRetryPause);
    }
}

}  // namespace qmx
