#pragma once

#include <optional>
#include <string>

namespace qmx {

// `text` as a whole number from `low` to `high`, written in decimal digits
// and nothing else: no sign, no blanks, no trailing characters.
std::optional<int> ParseWholeNumber(const std::string& text, int low, int high);

}  // namespace qmx
