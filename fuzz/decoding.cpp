// The L and G decoding on any answer bytes, in a buffer of exactly the
// answer's length so that a read past it is caught. Every value is its
// field's number over the field's scale, or the field's default when the
// characters are not a number, and a default always passes the
// measurement's validity test.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/answer_doubts.h"
#include "protocol/answer_layout.h"
#include "protocol/field_reader.h"
#include "protocol/queries.h"

namespace {

// The field's number, or its default, over its scale.
double Expected(const std::uint8_t* answer, const qmx::TField& field) {
    const auto number = qmx::ParseField(answer, field.Position, field.Width);
    return (number ? *number : field.Fallback) / field.Scale;
}

// A field that is no number, the reader's doubt says so.
bool DoubtAgrees(const std::uint8_t* answer, const qmx::TField& field, unsigned doubts, unsigned doubt) {
    const bool number = qmx::ParseField(answer, field.Position, field.Width).has_value();
    return number == ((doubts & doubt) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const qmx::TQuery query = data[0] % 2 == 0 ? qmx::TQuery::Level : qmx::TQuery::Density;
    const std::size_t length = qmx::AnswerLength(query);
    std::vector<std::uint8_t> answer(data + 1, data + std::min(size, length + 1));
    answer.resize(length, static_cast<std::uint8_t>(size));
    answer.shrink_to_fit();
    const qmx::TTankReading decoded = qmx::DecodeAnswer(query, 0, answer.data(), answer.size());
    const unsigned doubts = decoded.Doubts & ~(qmx::kNamesOtherQuery | qmx::kNamesOtherTank);

    if (query == qmx::TQuery::Level) {
        if (decoded.Level != Expected(answer.data(), qmx::kLevelField) ||
            decoded.SecondValue != Expected(answer.data(), qmx::kSecondValueField) ||
            decoded.Temperature != Expected(answer.data(), qmx::kTemperatureField))
            std::abort();
        if (!DoubtAgrees(answer.data(), qmx::kLevelField, doubts, qmx::kLevelNotNumber) ||
            !DoubtAgrees(answer.data(), qmx::kSecondValueField, doubts, qmx::kSecondValueNotNumber) ||
            !DoubtAgrees(answer.data(), qmx::kTemperatureField, doubts, qmx::kTemperatureNotNumber))
            std::abort();
        // A field that is no number reads as a default the operations take.
        if ((doubts & qmx::kLevelNotNumber) != 0 && !qmx::ValueValid(qmx::TMeasure::Level, *decoded.Level))
            std::abort();
        if ((doubts & qmx::kSecondValueNotNumber) != 0 &&
            !qmx::ValueValid(qmx::TMeasure::SecondValue, *decoded.SecondValue))
            std::abort();
        if ((doubts & qmx::kTemperatureNotNumber) != 0 &&
            !qmx::ValueValid(qmx::TMeasure::Temperature, *decoded.Temperature))
            std::abort();
    } else {
        const double density = *decoded.Density;
        if (density != Expected(answer.data(), qmx::kDensityField)) std::abort();
        if (!DoubtAgrees(answer.data(), qmx::kDensityField, doubts, qmx::kDensityNotNumber)) std::abort();
        if ((doubts & qmx::kDensityNotNumber) != 0 && !qmx::ValueValid(qmx::TMeasure::Density, density)) std::abort();
    }
    return 0;
}
