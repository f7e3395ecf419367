#include "platform/duration_text.h"

#include <cmath>
#include <cstring>

#include "platform/decimal_number.h"

namespace qmx {

std::optional<double> ParseDuration(const std::string& text) {
    static constexpr struct {
        const char* Unit;
        double Seconds;
    } kUnits[] = {{"min", 60.0}, {"h", 3600.0}, {"s", 1.0}};
    for (const auto& unit : kUnits) {
        const std::size_t length = std::strlen(unit.Unit);
        if (text.size() <= length || text.compare(text.size() - length, length, unit.Unit) != 0) continue;
        const std::size_t end = text.find_last_not_of(' ', text.size() - length - 1);
        if (end == std::string::npos) return std::nullopt;
        const auto number = ParseDecimalNumber(text.substr(0, end + 1));
        if (!number || !std::isfinite(*number) || *number < 0.0) return std::nullopt;
        return *number * unit.Seconds;
    }
    return std::nullopt;
}

}  // namespace qmx
