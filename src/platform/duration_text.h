#pragma once

#include <optional>
#include <string>

namespace qmx {

// `text` as a time with its unit, in seconds: "90 s", "10 min", "1.5h". A
// bare number is refused: a reader of the file would be left guessing its
// unit. Nothing for a time below zero or one that is not finite.
std::optional<double> ParseDuration(const std::string& text);

}  // namespace qmx
