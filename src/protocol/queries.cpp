#include "protocol/queries.h"

#include "protocol/answer_layout.h"
#include "protocol/field_reader.h"

namespace qmx {
namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

double Value(const std::uint8_t* answer, const TField& field) {
    return ReadField(answer, field.Position, field.Width, field.Fallback) / field.Scale;
}

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

TLevelValues DecodeLevelAnswer(const std::uint8_t* answer) {
    return {Value(answer, kLevelField), Value(answer, kAuxField), Value(answer, kTemperatureField)};
}

double DecodeDensityAnswer(const std::uint8_t* answer) { return Value(answer, kDensityField); }

}  // namespace qmx
