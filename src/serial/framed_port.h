#pragma once

// What the silo needs of the port that carries its exchanges on a direct
// line: one framed request/answer transaction at a time, judged by an answer
// check the silo supplies, with the outcome left as a link state.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/method_ref.h"
#include "protocol/exchange_record.h"
#include "serial/comm_api.h"
#include "serial/serial_errors.h"

namespace qmx {

// The answer check: address, collected bytes, a 32-bit value, received
// length, expected length; true when the answer is valid.
using TAnswerCheck =
    TMethodRef<bool(std::uint8_t, const std::uint8_t*, std::int32_t, std::uint8_t&, std::uint8_t&)>;

// Told, on the transacting thread, of each attempt once it is judged, with
// the exchange as it stands: a tool shows from it how a slow exchange goes.
using TAttemptWatch = std::function<void(const TExchangeRecord&)>;

class TFramedPort {
public:
    virtual ~TFramedPort() = default;

    virtual void SetOnCheckAnswer(TAnswerCheck check) = 0;

    // Sends `frame` and waits for the answer, retrying a missing or rejected
    // one. A valid answer is copied to `answer`; the link state tells the
    // outcome, and LastExchange how each attempt ended. The result is 0 once
    // an attempt has run. `address`, `further` and `answerAddress` are
    // carried for the caller's sake only.
    virtual std::int32_t Transact(std::uint8_t address, const std::uint8_t* frame,
                                  std::uint8_t frameLength, std::uint8_t* answer,
                                  std::uint8_t expectedLength, std::uint8_t further,
                                  std::int32_t answerAddress) = 0;

    virtual std::uint8_t GetLinkState() = 0;

    // The last transaction as it went, attempt by attempt.
    virtual const TExchangeRecord& LastExchange() const = 0;
    // Called by the answer check while it judges an answer for this port:
    // why it takes or rejects it (its result says only whether).
    virtual void NoteCheckVerdict(TAttemptVerdict verdict) = 0;

    // False while the device is known to have gone and has not been opened
    // again (the next transaction tries).
    virtual bool DevicePresent() { return true; }
    // While the device is absent: why the last try to open it again
    // failed; nothing when none has failed.
    virtual std::optional<ESerialIO> WhyAbsent() { return std::nullopt; }
    virtual void SetFastAnswers(bool, std::chrono::milliseconds) {}
    virtual void WatchAttempts(TAttemptWatch) {}
};

// Opens the framed port on COM`portNumber` with the gauge's line settings.
// Raises the serial layer's error when the port cannot be opened or set up.
// A tool's opener carries what it chose (a network port, where to record).
using TPortOpener = std::function<std::unique_ptr<TFramedPort>(std::uint8_t portNumber)>;

// The library's own opener, tracing where the environment says.
std::unique_ptr<TFramedPort> OpenFramedPort(std::uint8_t portNumber);
// The same, tracing to `tracePath` when it names a file: a host's library
// is told its trace by its own settings as well as by the environment.
std::unique_ptr<TFramedPort> OpenTracedFramedPort(std::uint8_t portNumber, const std::string& tracePath);
// The same port on `comm`, which it owns (a network's line, a tool's device
// given by path), tracing to `tracePath` when it names a file.
std::unique_ptr<TFramedPort> OpenFramedPortOn(std::unique_ptr<TCommApi> comm, std::uint8_t portNumber,
                                              const std::string& tracePath);

}  // namespace qmx
