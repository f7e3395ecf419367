#include <windows.h>

#include "platform/profile_file.h"

namespace qmx {

std::uint32_t ReadProfileInt(const std::string& path, std::string_view section,
                             std::string_view key, std::int32_t defaultValue) {
    const std::string sectionName(section);
    const std::string keyName(key);
    return GetPrivateProfileIntA(sectionName.c_str(), keyName.c_str(), defaultValue, path.c_str());
}

}  // namespace qmx
