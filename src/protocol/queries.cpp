#include "protocol/queries.h"

#include "protocol/answer_doubts.h"
#include "protocol/answer_layout.h"
#include "protocol/field_reader.h"

namespace qmx {
namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

TPayload QueryPayload(TQuery query, std::uint8_t tank) {
    const unsigned number = tank + 1u;
    return {static_cast<std::uint8_t>(query), static_cast<std::uint8_t>('0' + number / 10),
            static_cast<std::uint8_t>('0' + number % 10)};
}

std::uint8_t AnswerLength(TQuery query) {
    return query == TQuery::Level ? kLevelAnswerLength : kDensityAnswerLength;
}

std::optional<int> TankNumberOf(const std::uint8_t* digits) {
    if (!IsDigit(digits[0]) || !IsDigit(digits[1])) return std::nullopt;
    return (digits[0] - '0') * 10 + (digits[1] - '0');
}

TTankReading DecodeAnswer(TQuery query, std::uint8_t tank, const std::uint8_t* answer, std::size_t length) {
    TTankReading decoded;
    decoded.Tank = tank + 1;
    decoded.Doubts = EchoDoubts(query, tank, answer, length);
    const auto take = [&](TMeasure what, const TField& field, unsigned notNumber) {
        if (field.Position + field.Width > length) return;
        const auto number = ParseField(answer, field.Position, field.Width);
        if (!number) decoded.Doubts |= notNumber;
        decoded.Value(what) = number.value_or(field.Fallback) / field.Scale;
    };
    if (query == TQuery::Level) {
        take(TMeasure::Level, kLevelField, kLevelNotNumber);
        take(TMeasure::SecondValue, kSecondValueField, kSecondValueNotNumber);
        take(TMeasure::Temperature, kTemperatureField, kTemperatureNotNumber);
    } else {
        take(TMeasure::Density, kDensityField, kDensityNotNumber);
    }
    return decoded;
}

}  // namespace qmx
