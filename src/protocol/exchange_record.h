#pragma once

// One exchange as it happened: the request it was for, each attempt's
// bytes, times and verdict, and the link state it left. The framed port
// keeps it as the exchange goes; the silo, its metrics, the reader, the
// wire trace and the monitor read it, so that no one parses the request
// again or judges an attempt a second time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/attempt_verdict.h"
#include "protocol/queries.h"

namespace qmx {

struct TAttemptRecord {
    std::vector<std::uint8_t> Answer;  // collected from the STX on, as judged
    std::size_t BytesBeforeStx = 0;    // dropped while awaiting the STX
    // Frames dropped as answers to another request, and the request the
    // last of them answered ("L04").
    std::size_t OtherAnswers = 0;
    std::string OtherRequest;
    bool SendFailed = false;  // the request could not be put out
    bool OverLong = false;    // the answer ran past the longest frame
    TAttemptVerdict Verdict = TAttemptVerdict::NoAnswer;
    // On the recorder's clock, in milliseconds: when the request went out
    // and when the answer was judged.
    std::uint32_t SentAt = 0;
    std::uint32_t JudgedAt = 0;

    bool Accepted() const { return Verdict == TAttemptVerdict::Valid; }
};

struct TExchangeRecord {
    // The request's payload, and the query and tank it names (known when the
    // payload has the queries' shape).
    std::string Request;
    TQuery Query = TQuery::Level;
    std::uint8_t Tank = 0;  // index, 0 to 98
    bool Named = false;
    std::uint8_t ExpectedLength = 0;
    std::vector<TAttemptRecord> Attempts;
    std::uint8_t LinkState = 0;  // as the exchange left it
    // What the transport returned for the whole exchange: 0 when it carried
    // it out (the silo's Request result).
    std::int32_t TransportResult = 0;

    // Starts the record of a request with `payload`, `length` bytes.
    void Begin(const std::uint8_t* payload, std::size_t length, std::uint8_t expectedLength);
    bool Accepted() const { return !Attempts.empty() && Attempts.back().Accepted(); }
    // The exchange broke off: there is no answer to look at, not even an
    // invalid one.
    bool Failed() const { return TransportResult != 0; }
    // A valid answer stands in the caller's buffer.
    bool Answered() const { return !Failed() && LinkState == LinkStateOf(TAttemptVerdict::Valid); }
    // The last attempt's verdict; NoAnswer when none was made.
    TAttemptVerdict Verdict() const;
    int FailedAttempts() const;
};

}  // namespace qmx
