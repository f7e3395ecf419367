#include "driver/config_file.h"

#include "platform/profile_file.h"
#include "platform/system_paths.h"

namespace qmx {

std::optional<std::string> FindConfigFile() {
    return FindFileNoCase(WindowsDirectory(), kConfigFileName);
}

std::uint8_t ReadConfiguredConnectionType() {
    const auto path = FindConfigFile();
    if (!path) return 0;
    return static_cast<std::uint8_t>(ReadProfileInt(*path, kConfigSection, kConfigKey, 0));
}

}  // namespace qmx
