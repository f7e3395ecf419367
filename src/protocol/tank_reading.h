#pragma once

// One tank's reading: its four values, each only when it came valid, the
// doubts about the answers they came from, and why the reading failed. The
// silo keeps one per tank for its metrics and the reader; the reader and the
// monitor show it; the metrics publish it.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/attempt_verdict.h"

namespace qmx {

// The four values of a tank, as the measurement operations give them.
enum class TMeasure : std::uint8_t { Level, Temperature, SecondValue, Density };

// The tanks a gauge numbers, 1 to this.
constexpr int kGaugeTanks = 33;

struct TTankReading {
    int Tank = 0;  // 1 to kGaugeTanks, as on the gauge
    std::optional<double> Level;
    std::optional<double> Temperature;
    // As the gauge gives it in a decoded answer; as the host receives it
    // (rounded, its low 8 bits) once a measurement has taken it.
    std::optional<double> SecondValue;
    std::optional<double> Density;
    std::uint8_t LinkState = 0;  // after the last operation: 1 valid, 2 no answer, 3 invalid
    // Every value asked for came valid (the reader asks all four).
    bool Valid = false;
    unsigned Doubts = 0;  // TAnswerDoubt bits, of the answers the values came from
    // Why the reading failed: the verdict of the last attempt of the exchange
    // that failed it, or InvalidValue with the value refused (ReasonDetail);
    // Valid while none failed. Attempts: that exchange's.
    TAttemptVerdict Reason = TAttemptVerdict::Valid;
    std::string ReasonDetail;
    int Attempts = 0;
    int FailedAttempts = 0;  // over all the exchanges of the reading
    std::string Error;       // a request error the silo raised (UTF-8)
    std::string Time;        // UTC, when rows carry a time stamp

    std::optional<double>& Value(TMeasure what);
    const std::optional<double>& Value(TMeasure what) const;
};

// The bounds the measurement operations hold a value to: a level not
// negative, a temperature above -100.0, a second value above -1.00, a
// density above zero.
bool ValueValid(TMeasure what, double value);

// Takes the decoded values into `reading` as the measurement operations
// would, each only when valid (the second value rounded as the host gets
// it), with their doubts; the first refused one becomes the reason.
void TakeValues(const TTankReading& decoded, TTankReading& reading);

struct TExchangeRecord;

// What one exchange adds to the tank's reading: its failed attempts; the
// doubts about the answer it accepted, and that answer's values when
// `takeValues` (else the measurement operations give them); and why it
// failed, when it did: its last attempt's verdict, or a value refused.
void NoteExchange(const TExchangeRecord& record, TTankReading& reading, bool takeValues);

// Why a failed reading failed, for people: "check byte, 3 attempts".
std::string ReasonText(const TTankReading& reading);

}  // namespace qmx
