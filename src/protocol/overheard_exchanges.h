#pragma once

// The exchanges a listener that never sends overhears on a gauge's line:
// the host's requests told from the gauge's answers, each answer paired
// with the request before it and judged as the driver judges its own.
// Times are seconds on one steady clock: when a chunk of bytes was read.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/exchange_record.h"
#include "protocol/queries.h"

namespace qmx {

// Which bytes a chunk holds: both sides' in the order they passed (a
// half-duplex bus, or a tap that merges both directions), or one side's.
// On a merged line a request is told by its frame: STX, L or G, two
// digits, ETX and its check byte; anything else is the gauge's.
enum class TLineSide { Both, Host, Gauge };

// The attempts the driver makes at one request before it gives up.
constexpr std::size_t kAttemptsPerExchange = kMaxAttempts;
// How long the protocol gives an answer, from the end of its request.
constexpr double kAnswerWindowSeconds = 1.0;
// A host that has not asked again this long after its last request has
// given up on the exchange (the driver asks again 70 ms after a second).
constexpr double kExchangeQuietSeconds = 2.5;

struct TOverheardExchange {
    // The host's requests as attempts: up to and with the one that got a
    // valid answer, or all of them. Each is judged as the port takes an
    // answer; the last holds its bytes from the STX on.
    TExchangeRecord Record;
    // From the end of the last request to the answer's first byte; or,
    // when none came within the protocol's second, to the first byte after
    // (unless those open an answer to another request).
    std::optional<double> DelaySeconds;
    // An answer came within the second: bytes after it are not judged, as
    // the driver does not see them.
    bool InTime = false;
    // An attempt drew bytes only after its second: the last, or one the
    // host asked again after (then DelaySeconds is the first such one's).
    // Or the answer taken after a request asked again was the gauge's late
    // answer to the first, as its answer to the next came later still
    // (then DelaySeconds is from the first request).
    bool Late = false;
    double RequestedAt = 0;  // when the exchange's first request ended
};

// An answer taken after the host asked again may be the gauge's late
// answer to the earlier request: such an exchange is held back until the
// one after it ends (or the line goes quiet) and is late when an answer to
// the request asked again came after it.
class TExchangeSplitter {
public:
    // Sees every byte once, as the bytes are told apart: the host's
    // (`fromHost`; on a merged line a request, whole) and the gauge's (on a
    // merged line, as soon as they can be no part of a request).
    using TObserver = std::function<void(bool fromHost, const std::uint8_t* data, std::size_t count)>;

    explicit TExchangeSplitter(TObserver observer = nullptr) : FObserver(std::move(observer)) {}

    // Bytes read at `at` from `side`; the exchanges they end.
    std::vector<TOverheardExchange> Feed(TLineSide side, const std::uint8_t* data, std::size_t count, double at);
    // The exchange whose host has gone quiet by `now`, if any, after the
    // one held back.
    std::vector<TOverheardExchange> Tick(double now);
    // The exchange held back, judged on what has come so far: for a
    // listener that stops.
    std::vector<TOverheardExchange> Finish();

    // Whether an exchange is still open.
    bool Open() const { return FOpen.has_value(); }
    long long Requests() const { return FRequests; }
    std::optional<double> LastRequestAt() const { return FLastRequestAt; }

private:
    struct TPending {
        TPayload Payload{};
        TAttempts Earlier;  // the attempts before the last, judged
        double FirstAt = 0;
        double RequestEnd = 0;
        std::optional<double> LateDelay;  // of the first attempt that drew bytes only after its second
        std::vector<std::uint8_t> Bytes;  // after the last request
        std::vector<double> Times;        // each byte's
    };
    struct THeld {
        TOverheardExchange Exchange;
        TPayload Payload{};
        double AnswerAt = 0;
        bool AnsweredAgain = false;  // a frame answering its request came after the answer taken
    };

    void Take(std::uint8_t byte, double at, bool mayBeRequest, bool toAttempt,
              std::vector<TOverheardExchange>& ended);
    void Request(const TPayload& payload, double at, std::vector<TOverheardExchange>& ended);
    // `takenWhenWhole`: the host asked again before the second was up, so
    // it took the answer as soon as it was whole and valid.
    TOverheardExchange Judge(const TPending& pending, bool takenWhenWhole) const;
    void End(const TOverheardExchange& judged, const TPending& pending, std::vector<TOverheardExchange>& ended);
    // Whether `next`, the exchange after the one held back, heard an answer to its request.
    void NoteAnswersToHeld(const TPending& next);
    TOverheardExchange Decided();
    void Observe(bool fromHost, const std::uint8_t* data, std::size_t count);
    void ObserveSettled();

    TObserver FObserver;
    std::optional<TPending> FOpen;
    std::optional<THeld> FHeld;
    // The last bytes that may still end in a request, and of those, how
    // many the observer has seen.
    std::vector<std::uint8_t> FTail;
    std::size_t FTailObserved = 0;
    long long FRequests = 0;
    std::optional<double> FLastRequestAt;
};

}  // namespace qmx
