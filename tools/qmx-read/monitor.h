#pragma once

// qmx-read --monitor: listens on a station's line, never sending a byte,
// and gives the reader's rows, trace and metrics from the exchanges it
// overhears, until interrupted.

#include <map>
#include <optional>
#include <string>

#include "metrics/exposition.h"
#include "monitor_rows.h"
#include "options.h"

namespace qmx::tools {

// The exit status: only a device that cannot be opened or goes, or an
// output that cannot be written, ends it before a stop.
int RunMonitor(const TOptions& options);

// The monitor's own figures, after the reader's metrics: the requests it
// overheard and when the last came (Unix time; none yet: no sample), and
// of each tank's latest row, its answer's delay, whether that came within
// the second and the requests the host made.
std::string MonitorMetricsText(const TLineLabels& line, long long requests, std::optional<double> lastRequestAt,
                               const std::map<int, TMonitorRow>& latest);

}  // namespace qmx::tools
