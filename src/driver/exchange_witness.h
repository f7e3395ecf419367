#pragma once

// What the silo saw of one exchange, told the way monitoring tells failures
// apart: whether a frame went out at all, the verdict of its last attempt
// and how many attempts it made. On the silo's own port each attempt is
// reported; on a host's block only the answers its check was shown are.

#include <cstddef>
#include <cstdint>

#include "protocol/attempt_verdict.h"
#include "protocol/frame.h"
#include "serial/attempt_listener.h"

namespace qmx {

struct TExchangeFacts {
    bool Asked = false;  // an attempt was made (the transport was there)
    TAttemptVerdict Verdict = TAttemptVerdict::Valid;
    int Attempts = 0;
    int FailedAttempts = 0;
};

class TExchangeWitness final : public TAttemptListener {
public:
    // Before the exchange of `query` that expects `expected` bytes; with
    // `portReports` the port reports each attempt to AttemptEnded.
    void Begin(TQuery query, std::size_t expected, bool portReports);
    void AttemptEnded(const TAttemptReport& report) override;
    // A block's answer check was shown `received` bytes and gave `status`;
    // none at all is no answer.
    void Checked(TAnswerStatus status, std::size_t received);
    // After it: `carriedOut` when the transport carried it out, `accepted`
    // when a valid answer stands.
    TExchangeFacts End(bool carriedOut, bool accepted);

private:
    TQuery FQuery = TQuery::Level;
    std::size_t FExpected = 0;
    TExchangeFacts FFacts;
    bool FPortReports = false;  // then the checks add nothing
};

}  // namespace qmx
