#include "tank_list.h"

#include <cstdlib>

namespace qmx::tools {

std::optional<std::vector<int>> ParseTankList(const std::string& text) {
    std::vector<int> tanks;
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (part.empty()) return std::nullopt;
        char* end = nullptr;
        const long first = std::strtol(part.c_str(), &end, 10);
        long last = first;
        if (*end == '-') last = std::strtol(end + 1, &end, 10);
        if (*end != '\0' || first < 1 || last > 33 || first > last) return std::nullopt;
        for (long tank = first; tank <= last; ++tank) tanks.push_back(static_cast<int>(tank));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return tanks;
}

}  // namespace qmx::tools
