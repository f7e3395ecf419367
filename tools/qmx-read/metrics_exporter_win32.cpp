#include "metrics_exporter.h"

namespace qmx::tools {

// Not reached: --listen is refused with the options on Windows, where
// windows_exporter's textfile directory takes --metrics. The reader stays
// one program on both systems.
std::unique_ptr<TMetricsExporter> StartMetricsExporter(const TListenAddress&, TExported, std::string& problem) {
    problem = "not available on Windows";
    return nullptr;
}

}  // namespace qmx::tools
