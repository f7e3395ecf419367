#pragma once

// cnf.ini: the one stored setting, the connection type, in section QX under
// key ConnectionType, in the Windows directory.

#include <cstdint>
#include <optional>
#include <string>

namespace qmx {

constexpr char kConfigFileName[] = "cnf.ini";
constexpr char kConfigSection[] = "QX";
constexpr char kConfigKey[] = "ConnectionType";

// The path of cnf.ini when it exists in the Windows directory.
std::optional<std::string> FindConfigFile();

// The stored connection type (low 8 bits of the stored integer); 0 when the
// file, the key or a number is missing. Opens nothing when there is no file,
// and never creates one.
std::uint8_t ReadConfiguredConnectionType();

}  // namespace qmx
