#include "protocol/answer_doubts.h"

#include "protocol/queries.h"

namespace qmx {
namespace {

struct TDoubtName {
    unsigned Doubt;
    const char* Text;
    const char* Label;
};

constexpr TDoubtName kDoubtNames[] = {
    {kNamesOtherQuery, "answer names another query", "other_query"},
    {kNamesOtherTank, "answer names another tank", "other_tank"},
    {kLevelNotNumber, "level not a number", "level_not_number"},
    {kSecondValueNotNumber, "second value not a number", "second_value_not_number"},
    {kTemperatureNotNumber, "temperature not a number", "temperature_not_number"},
    {kDensityNotNumber, "density not a number", "density_not_number"},
};

std::vector<std::string> Names(unsigned doubts, const char* TDoubtName::*name) {
    std::vector<std::string> names;
    for (const auto& entry : kDoubtNames)
        if ((doubts & entry.Doubt) != 0) names.emplace_back(entry.*name);
    return names;
}

bool IsLetter(std::uint8_t c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

unsigned EchoDoubts(TQuery query, std::uint8_t tank, const std::uint8_t* answer, std::size_t length) {
    unsigned doubts = 0;
    // The echo: STX, the query letter, the tank number in two digits.
    if (length > 1 && IsLetter(answer[1]) && answer[1] != static_cast<std::uint8_t>(query))
        doubts |= kNamesOtherQuery;
    if (length > 3) {
        const auto number = TankNumberOf(answer + 2);
        if (number && *number != tank + 1) doubts |= kNamesOtherTank;
    }
    return doubts;
}

std::vector<std::string> DoubtTexts(unsigned doubts) { return Names(doubts, &TDoubtName::Text); }

std::vector<std::string> DoubtLabels(unsigned doubts) { return Names(doubts, &TDoubtName::Label); }

}  // namespace qmx
