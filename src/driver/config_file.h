#pragma once

// cnf.ini, in the Windows directory: the one stored setting, the connection
// type, in section QX under key ConnectionType, and beside it the keys that
// turn on what the library does only when asked (metrics, a wire trace).

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

// The wire trace of the library's ports: QMX_TRACE when the environment
// sets it (a technician's override of the station's file), else the key
// Trace, a file appended to ("-": standard error); empty for none. A
// station's host seldom lets one set its environment, but cnf.ini is there.
constexpr char kTraceKey[] = "Trace";
std::string ReadConfiguredTracePath();

// Stores `type` as the connection type, only where cnf.ini already is;
// without the file nothing is written and nothing reported. Raises
// std::runtime_error when the file is there but cannot be written.
void WriteConfiguredConnectionType(std::int32_t type);

}  // namespace qmx
