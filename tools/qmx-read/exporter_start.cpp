#include "exporter_start.h"

#include <cstdio>

#include "metrics.h"

namespace qmx::tools {

bool StartExporter(const TOptions& options, const std::string& device, std::unique_ptr<TMetricsExporter>& exporter) {
    if (!options.Listen) return true;
    std::string problem;
    exporter = StartMetricsExporter(*options.Listen, ScrapeTextBeforeFirstRound(device), problem);
    if (!exporter) {
        std::fprintf(stderr, "qmx-read: cannot listen on %s: %s\n", options.Listen->Text().c_str(), problem.c_str());
        return false;
    }
    std::fprintf(stderr, "qmx-read: serving the metrics at %s/metrics\n", exporter->Url().c_str());
    return true;
}

}  // namespace qmx::tools
