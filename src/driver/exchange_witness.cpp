#include "driver/exchange_witness.h"

namespace qmx {
namespace {

TAttemptVerdict VerdictOf(TAnswerStatus status) {
    switch (status) {
        case TAnswerStatus::Valid: return TAttemptVerdict::Valid;
        case TAnswerStatus::NoEtx: return TAttemptVerdict::NoEtx;
        case TAnswerStatus::WrongLength: return TAttemptVerdict::WrongLength;
        case TAnswerStatus::BadCheckByte: return TAttemptVerdict::CheckByte;
        case TAnswerStatus::NoStx: return TAttemptVerdict::NoStx;
    }
    return TAttemptVerdict::NoStx;
}

}  // namespace

void TExchangeWitness::Begin(TQuery query, std::size_t expected, bool portReports) {
    FQuery = query;
    FExpected = expected;
    FFacts = {};
    FPortReports = portReports;
}

void TExchangeWitness::AttemptEnded(const TAttemptReport& report) {
    ++FFacts.Attempts;
    // An accepted answer may still hold a value the measurement refuses.
    FFacts.Verdict = JudgeAttempt(FQuery, report.Bytes, report.Length, FExpected, report.BytesBeforeStx,
                                  report.OtherAnswers)
                         .Verdict;
    if (!report.Accepted) ++FFacts.FailedAttempts;
}

void TExchangeWitness::Checked(TAnswerStatus status, std::size_t received) {
    if (FPortReports) return;
    ++FFacts.Attempts;
    FFacts.Verdict = received == 0 ? TAttemptVerdict::NoAnswer : VerdictOf(status);
    if (status != TAnswerStatus::Valid) ++FFacts.FailedAttempts;
}

TExchangeFacts TExchangeWitness::End(bool carriedOut, bool accepted) {
    TExchangeFacts facts = FFacts;
    // A port reports every attempt it makes; none reported is none made (the
    // device had gone). A block's host says only that it carried it out.
    facts.Asked = FPortReports ? facts.Attempts != 0 : carriedOut;
    if (!FPortReports && carriedOut && !accepted && facts.Verdict == TAttemptVerdict::Valid) {
        facts.Verdict = TAttemptVerdict::NoAnswer;  // no answer reached the check
        facts.Attempts = facts.Attempts == 0 ? 1 : facts.Attempts;
        ++facts.FailedAttempts;
    }
    return facts;
}

}  // namespace qmx
