#pragma once

// Why an attempt at an exchange did not give a usable value, told from the
// bytes it got: for the technician, who needs to tell a silent gauge from a
// noisy line, a miswired one or a gauge that reports nonsense.

#include <cstddef>
#include <cstdint>

#include "protocol/queries.h"

namespace qmx {

enum class TAttemptVerdict : std::uint8_t {
    Valid,
    NoAnswer,      // nothing came
    NoStx,         // bytes came, but no STX opened an answer
    WrongLength,   // a frame, but not of the length the query expects
    NoEtx,         // no ETX before the check byte
    CheckByte,     // the check byte does not match
    InvalidValue,  // a good frame with a value the measurement refuses
    OtherRequest,  // only frames that answer another request came
};

struct TJudgedAttempt {
    TAttemptVerdict Verdict = TAttemptVerdict::NoAnswer;
    // With InvalidValue: which value ("negative level"); else empty.
    const char* Detail = "";
};

// Judges one attempt of query `query`: `received` bytes collected from the STX on, the
// `expected` frame length, and how many bytes came before any STX (a line
// that carries bytes but no frame), and how many frames the port dropped as
// answers to another request. Reads nothing beyond `received`.
TJudgedAttempt JudgeAttempt(TQuery query, const std::uint8_t* answer, std::size_t received, std::size_t expected,
                            std::size_t bytesBeforeStx, std::size_t otherAnswers = 0);

// "no answer", "check byte", ...; "valid" for Valid.
const char* VerdictText(TAttemptVerdict verdict);
// The same as a metrics label value: "no_answer", "check_byte", ...
const char* VerdictLabel(TAttemptVerdict verdict);

}  // namespace qmx
