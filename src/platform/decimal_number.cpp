#include "platform/decimal_number.h"

#include <cstdlib>

namespace qmx {

std::optional<double> ParseDecimalNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return number;
}

}  // namespace qmx
