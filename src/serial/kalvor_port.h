#pragma once

// TKalvorComPort: the gauge's request/answer port on a direct line. It sets
// the line to 9600 baud, 7 data bits, even parity, one stop bit, RTS low;
// collects every byte from the STX that opens an answer; judges the answer
// one second after each request with the check its owner supplies; and
// tries up to three times, 70 ms apart.
//
// The check cannot tell one tank's answer from another's. An answer that
// opens like another request's payload ("L04" while "L05" awaits its
// answer) is dropped as it arrives, and the attempt waits on for its own.
// And after a transaction that got no valid answer the next one first waits
// for a quiet line, so that an answer that missed its wait, and names
// nothing, is not taken for the next request's. An answer that runs past the
// longest frame is kept no further and rejected whatever its tail holds. A
// device that has gone (an adapter pulled out) is opened again, with the
// same settings, before the next transaction.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/recursive_lock.h"
#include "protocol/request_echo.h"
#include "serial/com_port.h"
#include "serial/framed_port.h"
#include "serial/link_state.h"

namespace qmx {

class TKalvorComPort final : public TComPort, public TFramedPort {
public:
    // What the receiver does with the next byte.
    enum class TRxState : std::uint8_t {
        Idle,            // no request awaits an answer: dropped
        AwaitingStx,     // counted as noise until an STX opens an answer
        CollectingEcho,  // after the STX, the characters that may repeat a request
        Collecting,      // the answer, up to the longest frame
        OverLong,        // the answer ran past the longest frame: the rest is dropped
        SkippingOther,   // an answer to another request, up to its ETX,
        SkippingCheckByte,  // then its check byte
    };
    // A request's payload as its answer repeats it: small enough to pass
    // between the threads whole. Aligned as a word, so that every compiler
    // makes its atomic copy a plain load and store (clang otherwise calls
    // libatomic, which nothing links).
    struct alignas(4) TEcho {
        std::array<std::uint8_t, kEchoLength> Bytes{};
        std::uint8_t Length = 0;
    };

    // `tracePath` as TComPort takes it.
    explicit TKalvorComPort(std::uint8_t portNumber, TCommApi& api = PlatformComm(),
                            std::string tracePath = ConfiguredTracePath());
    ~TKalvorComPort() override;

    std::int32_t Transact(std::uint8_t address, const std::uint8_t* frame, std::uint8_t frameLength,
                          std::uint8_t* answer, std::uint8_t expectedLength, std::uint8_t further,
                          std::int32_t answerAddress) override;

    void DataArrived(std::uint16_t count) override;

    virtual void SetLinkState(std::uint8_t state);
    std::uint8_t GetLinkState() override;

    void SetOnCheckAnswer(TAnswerCheck check) override { FOnCheckAnswer = check; }
    const TExchangeRecord& LastExchange() const override { return FRecord; }
    void NoteCheckVerdict(TAttemptVerdict verdict) override { FCheckVerdict = verdict; }

    bool DevicePresent() override;
    std::optional<ESerialIO> WhyAbsent() override;
    // Off unless a tool turns it on: the protocol's own timing stays the
    // library's.
    void SetFastAnswers(bool on, std::chrono::milliseconds pause) override;
    void WatchAttempts(TAttemptWatch watch) override { FAttemptWatch = std::move(watch); }

private:
    void SendRequest(const std::uint8_t* frame, std::uint8_t frameLength);
    std::int32_t AwaitAnswer(std::uint8_t* destination, std::uint8_t expectedLength);
    void ReceiveByte();
    // The gauge's line settings, RTS low and nothing pending.
    void ApplyLineSettings();
    void ResetReceiver();
    // An STX: a new answer begins.
    void OpenAnswer();
    // The echo is in: keeps the answer, or drops it as another request's.
    void JudgeEcho();
    // Keeps a byte of the answer, or marks it over-long past the longest frame.
    void KeepByte(std::uint8_t byte);
    // One attempt, under FTxLock, recorded: true when it got a valid answer,
    // which then stands in `answer`.
    bool Attempt(const std::uint8_t* frame, std::uint8_t frameLength, std::uint8_t* answer,
                 std::uint8_t expectedLength);
    // Opens the device again when it has gone; false, with the reason kept,
    // when it cannot be.
    bool RestoreDevice();
    // Drops what arrives until the line has been quiet for an answer's
    // length, at least the pause between attempts after the failed
    // transaction, at most about a second more.
    void AwaitQuietLine();
    void NoteTransactionEnd(bool succeeded);
    // The wait step's sleep: the full second, or in the fast mode until a
    // whole frame of the expected length is in and passes the check.
    void AwaitAnswerBytes(std::uint8_t expectedLength);
    // The attempt's verdict on what it collected (`received` bytes): the
    // port's own when there was nothing for the check to judge, else the
    // check's.
    TAttemptVerdict VerdictOn(std::uint8_t received, bool accepted) const;
    void TraceAttempt();

    std::atomic<TRxState> FRxState{TRxState::Idle};
    std::atomic<std::uint8_t> FLinkState{kLinkValid};
    TRecursiveLock FTxLock;
    std::atomic<std::uint8_t> FRxLength{0};
    // Bytes dropped while awaiting the STX since the last reset.
    std::atomic<std::uint32_t> FBytesBeforeStx{0};
    // Written by the event thread while the caller may read it: every byte
    // is read and written whole.
    std::array<std::atomic<std::uint8_t>, 256> FRxBuffer{};
    // The status of the last step: 0 accepted, 100 no outcome, 220 not sent,
    // 246 rejected, 247 nothing collected.
    std::atomic<std::int32_t> FStatus{0};
    // What the request's answer is to repeat: set before the receiver is
    // reset, read by the event thread.
    std::atomic<TEcho> FAwaitedEcho{TEcho{}};
    // Answers to other requests dropped since the last reset, and the echo
    // of the last one.
    std::atomic<std::uint32_t> FOtherAnswers{0};
    std::atomic<TEcho> FOtherEcho{TEcho{}};
    TAnswerCheck FOnCheckAnswer;
    TAttemptWatch FAttemptWatch;

    std::array<std::uint8_t, 256> FSendArea{};
    // The transaction under way, or the last one; its last attempt is the
    // one being judged.
    TExchangeRecord FRecord;
    // What the check said of the answer it judged last.
    std::optional<TAttemptVerdict> FCheckVerdict;

    // When the event thread last handed bytes over (the comm layer's clock).
    std::atomic<DWORD> FLastArrival{0};
    // The last transaction got no valid answer, and when it ended: its
    // answer may still be on its way.
    bool FLineUnsettled = false;
    // Why the device could not be opened again, while it cannot.
    std::optional<ESerialIO> FRestoreFailure;
    DWORD FUnsettledSince = 0;

    bool FFastAnswers = false;
    DWORD FFastPause = 0;
    DWORD FLastAttemptEnd = 0;
};

}  // namespace qmx
