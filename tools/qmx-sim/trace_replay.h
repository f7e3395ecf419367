#pragma once

// The gauge's side of a field trace, played back: each request is answered
// with what the trace recorded after the same request, in order (the n-th
// time a request comes, what came after its n-th appearance in the trace),
// at the same times after it. Nothing recorded is a silence; a broken frame
// is played as it came; bursts keep each their time, and one that took
// time is played over that time, its bytes evenly spread. When the trace's answers to a request run out they start over, so
// a reader that reads round after round (--watch) keeps meeting the fault.
// A request the trace never saw goes unanswered, and is said once.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "answerer.h"
#include "wire_trace_reader.h"

namespace qmx::sim {

// The longest an answer is played after its request: three attempts of a
// second's wait and the 70 ms after each. A part recorded later than that
// is played just past the one-second wait, within the 70 ms that follow:
// as late as the reader notices, without spilling into the next exchange.
inline constexpr int kLongestDelayMs = 3210;
inline constexpr int kJustPastWindowMs = 1035;
// Stamps without the steady clock's seconds jump with the wall clock: by
// whole quarter hours when summer time ends or the zone changes. A gap
// between a request and its answer over twice the longest delay, or
// below nothing, that such a jump explains is taken for one.
inline constexpr long long kZoneStepMs = 15 * 60 * 1000;

// Weeks of a station read round after round; a larger file is no trace.
inline constexpr std::size_t kLargestTrace = std::size_t{64} << 20;

class TTraceReplay final : public TAnswerer {
public:
    using TSay = std::function<void(const std::string&)>;

    // `say` hears of requests the trace has no answer for; may be empty.
    explicit TTraceReplay(TSay say = {});

    // Takes the exchanges of the trace at `path`, read as it comes (a
    // FIFO's too) up to kLargestTrace; what is wrong with it
    // ("TRACE:LINE: what", "cannot read TRACE: reason"), or nothing. A
    // wait for it ends when `stopped` (may be null) says so.
    std::optional<std::string> Load(const std::string& path, bool (*stopped)() = nullptr);
    // The same on the trace's events; `name` is what the errors call it.
    std::optional<std::string> Take(const std::vector<TTraceEvent>& events, const std::string& name);

    std::size_t Exchanges() const;
    std::size_t Requests() const { return FRecorded.size(); }

    std::optional<TReply> Answer(const std::vector<std::uint8_t>& request, double elapsedSeconds) override;

private:
    struct TRecorded {
        std::vector<std::vector<TReplyPart>> Answers;  // one for each appearance
        std::size_t Next = 0;
    };

    // When bytes of `event` that came at `at` are played after their request.
    int Delay(const TTraceEvent& event, long long at, long long askedAt, const std::string& name);
    // The gap from a request to its answer's part with a jump of the wall
    // clock taken out, said the first time.
    long long Unjumped(const TTraceEvent& event, long long after, const std::string& name);

    TSay FSay;
    int FCapped = 0, FFirstCapped = 0;  // parts played sooner than stamped, and the first one's line
    bool FJumpSaid = false;
    std::map<std::vector<std::uint8_t>, TRecorded> FRecorded;
    std::map<std::vector<std::uint8_t>, bool> FUnknownSaid;
};

// The request as a person reads it: "L05", or its bytes in hex.
std::string RequestName(const std::vector<std::uint8_t>& request);

}  // namespace qmx::sim
