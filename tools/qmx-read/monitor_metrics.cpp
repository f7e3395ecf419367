#include "metrics/exposition.h"
#include "monitor.h"

namespace qmx::tools {

std::string MonitorMetricsText(const std::string& device, long long requests, std::optional<double> lastRequestAt) {
    std::string text = OneSampleText(device, "qmx_monitor_requests_total",
                                     "Requests the host made, overheard on the line.",
                                     static_cast<double>(requests), TSampleKind::Counter);
    if (lastRequestAt)
        text += OneSampleText(device, "qmx_monitor_last_request_timestamp_seconds",
                              "When the host last made a request.", *lastRequestAt, TSampleKind::Time);
    return text;
}

}  // namespace qmx::tools
