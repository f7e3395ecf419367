#include "metrics/exposition.h"
#include "monitor.h"

namespace qmx::tools {

std::string MonitorMetricsText(const TLineLabels& line, long long requests, std::optional<double> lastRequestAt,
                               const std::map<int, TMonitorRow>& latest) {
    std::string text = OneSampleText(line, "qmx_monitor_requests_total",
                                     "Requests the host made, overheard on the line.",
                                     static_cast<double>(requests), TSampleKind::Counter);
    if (lastRequestAt)
        text += OneSampleText(line, "qmx_monitor_last_request_timestamp_seconds",
                              "When the host last made a request.", *lastRequestAt, TSampleKind::Time);
    std::map<int, double> delays, inTime, tankRequests;
    for (const auto& [tank, row] : latest) {
        tankRequests[tank] = row.Requests;
        if (!row.DelaySeconds) continue;
        delays[tank] = *row.DelaySeconds;
        inTime[tank] = row.InTime ? 1 : 0;
    }
    text += TankSamplesText(line, "qmx_monitor_answer_delay_seconds",
                            "From the end of the tank's last request to its answer, in its last row; none without one.",
                            delays);
    text += TankSamplesText(line, "qmx_monitor_answer_in_time",
                            "1 when the tank's answers in its last row came within the second the protocol allows, "
                            "0 when one came after it.",
                            inTime);
    text += TankSamplesText(line, "qmx_monitor_tank_requests",
                            "Requests the host made for the tank's last row, L and G together, retries included.",
                            tankRequests);
    return text;
}

}  // namespace qmx::tools
