#include "tank_list.h"

#include <algorithm>

#include "platform/whole_number.h"

namespace qmx::tools {

std::optional<std::vector<int>> ParseTankList(const std::string& text) {
    std::vector<int> tanks;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const std::size_t dash = part.find('-');
        const auto first = ParseWholeNumber(part.substr(0, dash), 1, 33);
        const auto last = dash == std::string::npos ? first : ParseWholeNumber(part.substr(dash + 1), 1, 33);
        if (!first || !last || *first > *last) return std::nullopt;
        // A tank named twice is read once, where it first appears.
        for (int tank = *first; tank <= *last; ++tank)
            if (std::find(tanks.begin(), tanks.end(), tank) == tanks.end()) tanks.push_back(tank);
        if (comma == std::string::npos) return tanks;
        at = comma + 1;
    }
}

}  // namespace qmx::tools
