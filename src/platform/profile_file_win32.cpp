#include <windows.h>

#include <string>

#include "platform/profile_file.h"

namespace qmx {

std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue) {
    const std::string sectionName(section);
    const std::string keyName(key);
    return GetPrivateProfileIntA(sectionName.c_str(), keyName.c_str(), defaultValue, path.c_str());
}

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key) {
    const std::string sectionName(section);
    const std::string keyName(key);
    char value[1024] = {};
    GetPrivateProfileStringA(sectionName.c_str(), keyName.c_str(), "", value, sizeof value, path.c_str());
    return value;
}

}  // namespace qmx

namespace qmx {

bool WriteWindowsProfileInt(std::string_view fileName, std::string_view section, std::string_view key,
                            std::int32_t value, std::string& error) {
    // The bare name: the profile API looks it up in the Windows directory,
    // where it finds the same file a path would name, and the file is known
    // to the system's profile handling by the name it has always had.
    const std::string name(fileName);
    const std::string sectionName(section);
    const std::string keyName(key);
    const std::string text = std::to_string(value);
    if (!WritePrivateProfileStringA(sectionName.c_str(), keyName.c_str(), text.c_str(), name.c_str())) {
        error = "cannot write " + name;
        return false;
    }
    // Flushes the profile cache to the file.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, name.c_str());
    return true;
}

}  // namespace qmx
