#include "driver/config_file.h"

#include <stdexcept>

#include "platform/profile_file.h"
#include "platform/system_paths.h"
#include "serial/wire_trace.h"

namespace qmx {

std::optional<std::string> FindConfigFile() {
    return FindFileNoCase(WindowsDirectory(), kConfigFileName);
}

std::uint8_t ReadConfiguredConnectionType() {
    const auto path = FindConfigFile();
    if (!path) return 0;
    return static_cast<std::uint8_t>(ReadProfileInt(*path, kConfigSection, kConfigKey, 0));
}

std::string ReadConfiguredMetricsDir() {
    const auto path = FindConfigFile();
    return path ? ReadProfileString(*path, kConfigSection, kMetricsDirKey) : std::string();
}

std::string ReadConfiguredTracePath() {
    if (std::string overridden = ConfiguredTracePath(); !overridden.empty()) return overridden;
    const auto path = FindConfigFile();
    return path ? ReadProfileString(*path, kConfigSection, kTraceKey) : std::string();
}

void WriteConfiguredConnectionType(std::int32_t type) {
    if (!FindConfigFile()) return;
    std::string error;
    if (!WriteWindowsProfileInt(kConfigFileName, kConfigSection, kConfigKey, type, error))
        throw std::runtime_error(error);
}

}  // namespace qmx
