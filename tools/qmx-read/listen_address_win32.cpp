#include "listen_address.h"

namespace qmx::tools {

std::string TListenAddress::Text() const { return Host + ":" + std::to_string(Port); }

// The exporter is Linux's: a Windows station has windows_exporter, whose
// textfile directory takes --metrics.
std::optional<TListenAddress> ParseListenAddress(const std::string&, std::string& problem) {
    problem = "--listen is not available on Windows: give windows_exporter's textfile directory to --metrics";
    return std::nullopt;
}

}  // namespace qmx::tools
