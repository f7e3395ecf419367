#pragma once

#include <optional>
#include <string>

namespace qmx {

// `text` as a decimal number: digits with an optional sign, point and
// exponent, and nothing else. strtod alone would also take "nan", "inf" and
// hexadecimal, which no one writes in a settings file on purpose. A number
// too large for a double comes back infinite, for the caller to refuse.
std::optional<double> ParseDecimalNumber(const std::string& text);

}  // namespace qmx
