// The field reader against a plain reading of its rules: spaces, a sign,
// decimal digits to the end of the field or its first NUL, in 32 bits;
// anything else is the fallback.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/field_reader.h"

namespace {

std::int64_t Expected(const std::uint8_t* field, std::size_t width, std::int32_t fallback) {
    std::string text;
    for (std::size_t i = 0; i < width && field[i] != 0; ++i) text += static_cast<char>(field[i]);
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return fallback;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    if (i == text.size()) return fallback;
    long double value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return fallback;
        value = value * 10 + (text[i] - '0');
        if (value > 3e12L) return fallback;
    }
    if (negative) value = -value;
    if (value < -2147483648.0L || value > 2147483647.0L) return fallback;
    return static_cast<std::int64_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::int32_t fallback = static_cast<std::int8_t>(data[0]) * 1000;
    std::vector<std::uint8_t> field(data + 1, data + size);
    field.shrink_to_fit();
    const std::int32_t value = qmx::ReadField(field.data(), 0, field.size(), fallback);
    if (value != Expected(field.data(), field.size(), fallback)) std::abort();
    return 0;
}
