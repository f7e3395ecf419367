#include <cstdio>

#include "monitor.h"
#include "utf8_text.h"

namespace qmx::tools {

std::string MonitorMetricsText(const std::string& device, long long requests, std::optional<double> lastRequestAt) {
    // A label value as the reader's metrics write it: UTF-8, \ and " escaped.
    std::string label;
    for (char c : EscapeInvalidUtf8(device)) {
        if (c == '\\' || c == '"') label += '\\';
        label += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    const std::string labels = "{device=\"" + label + "\"}";
    std::string text =
        "# HELP qmx_monitor_requests_total Requests the host made, overheard on the line.\n"
        "# TYPE qmx_monitor_requests_total counter\n"
        "qmx_monitor_requests_total" + labels + " " + std::to_string(requests) + "\n";
    if (lastRequestAt) {
        char at[40];
        std::snprintf(at, sizeof at, "%.3f", *lastRequestAt);
        text += "# HELP qmx_monitor_last_request_timestamp_seconds When the host last made a request.\n"
                "# TYPE qmx_monitor_last_request_timestamp_seconds gauge\n"
                "qmx_monitor_last_request_timestamp_seconds" + labels + " " + at + "\n";
    }
    return text;
}

}  // namespace qmx::tools
