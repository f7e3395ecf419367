// The cnf.ini reader and writer on any text: a value written must read
// back, and every other line must stay as it was.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile_file.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t newline = text.find('\n', at);
        lines.push_back(text.substr(at, newline == std::string::npos ? std::string::npos : newline - at));
        if (newline == std::string::npos) break;
        at = newline + 1;
    }
    return lines;
}

// Every line of `original` stands in `updated` in the same order, but for
// at most one that was rewritten in place.
bool KeepsTheRest(const std::string& original, const std::string& updated) {
    const auto before = Lines(original), after = Lines(updated);
    if (before.size() == after.size()) {
        int changed = 0;
        for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i] ? 1 : 0;
        return changed <= 1;
    }
    std::size_t j = 0;
    for (const auto& line : before) {
        while (j < after.size() && after[j] != line && after[j] != line + "\r") ++j;
        if (j == after.size()) return false;
        ++j;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int value = static_cast<std::int8_t>(data[0]) * 37;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::istringstream in(text);
    if (const auto found = qmx::FindProfileValue(in, "QX", "ConnectionType")) (void)qmx::ProfileTextToInt(*found);

    const std::string updated = qmx::WithProfileValue(text, "QX", "ConnectionType", std::to_string(value));
    std::istringstream back(updated);
    const auto found = qmx::FindProfileValue(back, "QX", "ConnectionType");
    if (!found || *found != std::to_string(value)) std::abort();
    if (!KeepsTheRest(text, updated)) std::abort();
    return 0;
}
