#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qmx::tools {

// "1-4,9" into tank numbers 1 to 33, in order, each once; nothing on a bad
// list.
std::optional<std::vector<int>> ParseTankList(const std::string& text);

}  // namespace qmx::tools
