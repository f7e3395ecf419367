#include "protocol/attempt_verdict.h"

#include "protocol/answer_layout.h"
#include "protocol/queries.h"
#include "protocol/field_reader.h"
#include "protocol/frame.h"

namespace qmx {
namespace {

double Value(const std::uint8_t* answer, const TField& field) {
    return ReadField(answer, field.Position, field.Width, field.Fallback) / field.Scale;
}

// The bounds the measurement operations hold a value to. (The temperature's
// bound, above -100.0, no four-character field can cross.)
const char* RefusedValue(TQuery query, const std::uint8_t* answer) {
    if (query == TQuery::Level) {
        if (Value(answer, kLevelField) < 0.0) return "negative level";
        if (Value(answer, kAuxField) <= -1.0) return "second value at or below -1.00";
    } else {
        if (Value(answer, kDensityField) <= 0.0) return "density not above zero";
    }
    return nullptr;
}

}  // namespace

TJudgedAttempt JudgeAttempt(TQuery query, const std::uint8_t* answer, std::size_t received, std::size_t expected,
                            std::size_t bytesBeforeStx, std::size_t otherAnswers) {
    if (received == 0 && otherAnswers != 0) return {TAttemptVerdict::OtherRequest};
    if (received == 0) return {bytesBeforeStx == 0 ? TAttemptVerdict::NoAnswer : TAttemptVerdict::NoStx};
    if (received != expected || expected > 255) return {TAttemptVerdict::WrongLength};
    switch (JudgeAnswer(answer, static_cast<std::uint8_t>(received), static_cast<std::uint8_t>(expected))) {
        case TAnswerStatus::Valid: break;
        case TAnswerStatus::NoStx: return {TAttemptVerdict::NoStx};
        case TAnswerStatus::NoEtx: return {TAttemptVerdict::NoEtx};
        case TAnswerStatus::BadCheckByte: return {TAttemptVerdict::CheckByte};
        case TAnswerStatus::WrongLength: return {TAttemptVerdict::WrongLength};
    }
    if (received == AnswerLength(query))
        if (const char* refused = RefusedValue(query, answer)) return {TAttemptVerdict::InvalidValue, refused};
    return {TAttemptVerdict::Valid};
}

const char* VerdictText(TAttemptVerdict verdict) {
    switch (verdict) {
        case TAttemptVerdict::Valid: return "valid";
        case TAttemptVerdict::NoAnswer: return "no answer";
        case TAttemptVerdict::NoStx: return "no STX";
        case TAttemptVerdict::WrongLength: return "wrong length";
        case TAttemptVerdict::NoEtx: return "no ETX";
        case TAttemptVerdict::CheckByte: return "check byte";
        case TAttemptVerdict::InvalidValue: return "invalid value";
        case TAttemptVerdict::OtherRequest: return "answer to another request";
    }
    return "?";
}

const char* VerdictLabel(TAttemptVerdict verdict) {
    switch (verdict) {
        case TAttemptVerdict::Valid: return "none";
        case TAttemptVerdict::NoAnswer: return "no_answer";
        case TAttemptVerdict::NoStx: return "no_stx";
        case TAttemptVerdict::WrongLength: return "wrong_length";
        case TAttemptVerdict::NoEtx: return "no_etx";
        case TAttemptVerdict::CheckByte: return "check_byte";
        case TAttemptVerdict::InvalidValue: return "invalid_value";
        case TAttemptVerdict::OtherRequest: return "other_request";
    }
    return "unknown";
}

}  // namespace qmx
