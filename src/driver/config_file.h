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

// Where the silos write their metrics files (key MetricsDir); empty when
// the file or the key is missing, and then no silo writes any.
constexpr char kMetricsDirKey[] = "MetricsDir";
std::string ReadConfiguredMetricsDir();

// Stores `type` as the connection type, only where cnf.ini already is;
// without the file nothing is written and nothing reported. Raises
// std::runtime_error when the file is there but cannot be written.
void WriteConfiguredConnectionType(std::int32_t type);

}  // namespace qmx
