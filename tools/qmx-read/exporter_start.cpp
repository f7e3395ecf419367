#include "exporter_start.h"

#include <cstdio>

#include "metrics.h"
#include "tanks_json.h"

namespace qmx::tools {

bool StartExporter(const TOptions& options, const std::string& device, std::unique_ptr<TMetricsExporter>& exporter) {
    if (!options.Listen) return true;
    std::string problem;
    TStationView none;
    none.Device = device;
    exporter = StartMetricsExporter(*options.Listen, {ScrapeTextBeforeFirstRound({device, options.Instance}), TanksJson(none)}, problem);
    if (!exporter) {
        std::fprintf(stderr, "qmx-read: cannot listen on %s: %s\n", options.Listen->Text().c_str(), problem.c_str());
        return false;
    }
    std::fprintf(stderr, "qmx-read: serving the metrics at %s/metrics and the station's page at %s/\n",
                 exporter->Url().c_str(), exporter->Url().c_str());
    return true;
}

}  // namespace qmx::tools
