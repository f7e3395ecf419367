#pragma once

// Text from a file a program refuses, as its message shows it: cut short
// and with control bytes escaped, so that a huge line, a terminal's escape
// sequences or a binary file never reach the terminal raw.

#include <cstddef>
#include <string>

namespace qmx {

inline constexpr std::size_t kShownCharacters = 120;

// `text` with control bytes and bytes that are no UTF-8 as \xNN, cut after
// kShownCharacters characters ("..." says so).
std::string Shown(const std::string& text);

}  // namespace qmx
