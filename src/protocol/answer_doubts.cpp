#include "protocol/answer_doubts.h"

#include "protocol/answer_layout.h"
#include "protocol/field_reader.h"
#include "protocol/queries.h"

namespace qmx {
namespace {

bool IsLetter(std::uint8_t c) { return c >= 'A' && c <= 'Z'; }

bool NotNumber(const std::uint8_t* answer, std::size_t length, const TField& field) {
    return field.Position + field.Width <= length && !ParseField(answer, field.Position, field.Width);
}

}  // namespace

unsigned AnswerDoubts(TQuery query, std::uint8_t tank, const std::uint8_t* answer, std::size_t length) {
    unsigned doubts = 0;
    // The echo: STX, the query letter, the tank number in two digits.
    if (length > 1 && IsLetter(answer[1]) && answer[1] != static_cast<std::uint8_t>(query))
        doubts |= kNamesOtherQuery;
    if (length > 3) {
        const auto number = TankNumberOf(answer + 2);
        if (number && *number != tank + 1) doubts |= kNamesOtherTank;
    }
    if (query == TQuery::Level) {
        if (NotNumber(answer, length, kLevelField)) doubts |= kLevelNotNumber;
        if (NotNumber(answer, length, kAuxField)) doubts |= kSecondValueNotNumber;
        if (NotNumber(answer, length, kTemperatureField)) doubts |= kTemperatureNotNumber;
    } else if (NotNumber(answer, length, kDensityField)) {
        doubts |= kDensityNotNumber;
    }
    return doubts;
}

}  // namespace qmx
