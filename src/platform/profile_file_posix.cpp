#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/profile_file.h"
#include "platform/system_paths.h"
#include "platform/whole_file.h"

namespace qmx {

std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return static_cast<std::uint32_t>(defaultValue);
    const auto value = FindProfileValue(in, section, key);
    if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
    return ProfileTextToInt(*value);
}

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key) {
    std::ifstream in(path, std::ios::binary);
    return in ? FindProfileValue(in, section, key).value_or("") : "";
}

bool WriteWindowsProfileInt(std::string_view name, std::string_view section, std::string_view key,
                            std::int32_t value, std::string& error) {
    const auto path = FindFileNoCase(WindowsDirectory(), name);
    if (!path) {
        error = "no " + std::string(name) + " in " + WindowsDirectory();
        return false;
    }
    return WriteProfileInt(*path, section, key, value, error);
}

bool WriteProfileInt(const std::string& name, std::string_view section, std::string_view key,
                     std::int32_t value, std::string& error) {
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string updated = WithProfileValue(text, section, key, std::to_string(value));

    // The old file is replaced only by a complete new one.
    return ReplaceWholeFile(name, updated, error);
}

}  // namespace qmx
