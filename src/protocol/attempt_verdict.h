#pragma once

// How one attempt at an exchange ended: the one vocabulary for an
// exchange's outcome. The answer check gives it, the port records it, the
// silo reports it to a host's block as a status number and leaves it as a
// link state; the trace, the rows and the metrics name it from the same
// table.

#include <cstddef>
#include <cstdint>

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

// The answer check: judges `received` bytes of `answer` against the
// expected length; the first test that fails decides (length, STX, ETX,
// check byte). Reads nothing outside the received bytes.
TAttemptVerdict JudgeAnswer(const std::uint8_t* answer, std::uint8_t received, std::uint8_t expected);

// An attempt that collected nothing from an STX on: silence, bytes that
// opened no answer, or only answers to another request.
TAttemptVerdict VerdictWithoutAnswer(std::size_t bytesBeforeStx, std::size_t otherAnswers);

// One attempt overheard or collected: `received` bytes from the STX on
// (none: VerdictWithoutAnswer), judged by the answer check.
TAttemptVerdict JudgeAttempt(const std::uint8_t* answer, std::size_t received, std::size_t expected,
                             std::size_t bytesBeforeStx, std::size_t otherAnswers = 0);

// The verdict as the answer check reports it to a host's block: 0 valid,
// 219 length, 223 no STX, 209 no ETX, 222 check byte.
std::uint8_t HostAnswerStatus(TAttemptVerdict verdict);
// The link state an attempt that ended so leaves: 1 valid answer, 2 no
// answer, 3 an answer rejected (or a value refused).
std::uint8_t LinkStateOf(TAttemptVerdict verdict);
// "no answer", "check byte", ...; "valid" for Valid.
const char* VerdictText(TAttemptVerdict verdict);
// The same as a metrics label value: "no_answer", "check_byte", ...; "none"
// for Valid.
const char* VerdictLabel(TAttemptVerdict verdict);
// How tanks whose reading ended so failed, after a count ("rejected by the
// check byte"), and what to check for it, one line in lower case ("the gauge
// answers, but bytes arrive changed: ..."); for the reader's hints.
const char* VerdictOutcome(TAttemptVerdict verdict);
const char* VerdictHint(TAttemptVerdict verdict);

}  // namespace qmx
