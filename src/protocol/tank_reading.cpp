#include "protocol/tank_reading.h"

#include "protocol/exchange_record.h"
#include "protocol/field_reader.h"
#include "protocol/queries.h"

namespace qmx {
namespace {

struct TLimit {
    TMeasure What;
    double Bound;
    bool Inclusive;  // the bound itself is valid
    const char* Refusal;
};

// The temperature's bound no four-character field can cross: only a failed
// exchange's -111.0 does.
constexpr TLimit kLimits[] = {
    {TMeasure::Level, 0.0, true, "negative level"},
    {TMeasure::Temperature, -100.0, false, "temperature at or below -100.0"},
    {TMeasure::SecondValue, -1.0, false, "second value at or below -1.00"},
    {TMeasure::Density, 0.0, false, "density not above zero"},
};

const TLimit& LimitOf(TMeasure what) { return kLimits[static_cast<std::size_t>(what)]; }

}  // namespace

std::optional<double>& TTankReading::Value(TMeasure what) {
    switch (what) {
        case TMeasure::Level: return Level;
        case TMeasure::Temperature: return Temperature;
        case TMeasure::SecondValue: return SecondValue;
        case TMeasure::Density: break;
    }
    return Density;
}

const std::optional<double>& TTankReading::Value(TMeasure what) const {
    return const_cast<TTankReading&>(*this).Value(what);
}

bool ValueValid(TMeasure what, double value) {
    const TLimit& limit = LimitOf(what);
    return limit.Inclusive ? value >= limit.Bound : value > limit.Bound;
}

void TakeValues(const TTankReading& decoded, TTankReading& reading) {
    for (const auto& limit : kLimits) {
        const auto& value = decoded.Value(limit.What);
        if (!value) continue;
        if (ValueValid(limit.What, *value)) {
            // The host receives the second value rounded, in a byte.
            reading.Value(limit.What) = limit.What == TMeasure::SecondValue ? RoundToLowByte(*value) : *value;
        } else if (reading.Reason == TAttemptVerdict::Valid) {
            reading.Reason = TAttemptVerdict::InvalidValue;
            reading.ReasonDetail = limit.Refusal;
        }
    }
    reading.Doubts |= decoded.Doubts;
}

void NoteExchange(const TExchangeRecord& record, TTankReading& reading, bool takeValues) {
    if (record.Attempts.empty()) return;
    reading.FailedAttempts += record.FailedAttempts();
    const TAttemptRecord& last = record.Attempts.back();
    TTankReading taken;
    if (record.Accepted()) {
        const TTankReading decoded = DecodeAnswer(record.Query, record.Tank, last.Answer.data(), last.Answer.size());
        TakeValues(decoded, taken);
        reading.Doubts |= taken.Doubts;
        if (takeValues)
            for (TMeasure what : {TMeasure::Level, TMeasure::Temperature, TMeasure::SecondValue, TMeasure::Density})
                if (taken.Value(what)) reading.Value(what) = taken.Value(what);
    } else {
        taken.Reason = last.Verdict;
        if (last.Verdict == TAttemptVerdict::OtherRequest) taken.ReasonDetail = last.OtherRequest.Text();
    }
    if (taken.Reason == TAttemptVerdict::Valid) return;
    reading.Reason = taken.Reason;
    reading.ReasonDetail = taken.ReasonDetail;
    reading.Attempts = static_cast<int>(record.Attempts.Made());
}

std::string ReasonText(const TTankReading& reading) {
    std::string text = VerdictText(reading.Reason);
    if (!reading.ReasonDetail.empty()) text += " (" + reading.ReasonDetail + ")";
    return text + ", " + std::to_string(reading.Attempts) + (reading.Attempts == 1 ? " attempt" : " attempts");
}

}  // namespace qmx
