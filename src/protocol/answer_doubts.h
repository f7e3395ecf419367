#pragma once

// What makes an accepted answer doubtful. The driver takes any frame that
// passes the answer check as valid: it does not compare the query letter or
// the tank number a gauge may repeat after the STX, and a field that is no
// number reads as its default. A reader that shows the values can say so.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TQuery : char;

namespace qmx {

enum TAnswerDoubt : unsigned {
    kNamesOtherQuery = 1u << 0,         // its first character names another query letter
    kNamesOtherTank = 1u << 1,          // its next two name another tank
    kLevelNotNumber = 1u << 2,          // read as the default 10.00
    kSecondValueNotNumber = 1u << 3,    // read as the default 1.00
    kTemperatureNotNumber = 1u << 4,    // read as the default 1.0
    kDensityNotNumber = 1u << 5,        // read as the default 0.005
};

// The doubts the echo of `answer` (`length` bytes from the STX) raises, as
// answered to `query` for the tank with index `tank` (0 to 32): another
// query letter, another tank. An echo that is no letter or no digits names
// nothing and raises no doubt.
unsigned EchoDoubts(TQuery query, std::uint8_t tank, const std::uint8_t* answer, std::size_t length);

// The doubts in `doubts`, in bit order, for people ("answer names another
// tank", "level not a number") and as metrics label values ("other_tank",
// "level_not_number").
std::vector<std::string> DoubtTexts(unsigned doubts);
std::vector<std::string> DoubtLabels(unsigned doubts);
}  // namespace qmx
