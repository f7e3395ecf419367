#include <fstream>

#include "platform/profile_file.h"

namespace qmx {

std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return static_cast<std::uint32_t>(defaultValue);
    const auto value = FindProfileValue(in, section, key);
    if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
    return ProfileTextToInt(*value);
}

}  // namespace qmx
