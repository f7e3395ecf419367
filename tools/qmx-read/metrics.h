#pragma once

// The readings of a round in Prometheus' text exposition format, the form
// node exporter's textfile collector reads: a station's tanks feed an
// existing monitoring system with no server of ours.

#include <string>
#include <vector>

#include "reading.h"

namespace qmx::tools {

struct TRoundFigures {
    double DurationSeconds = 0;
    int FailedExchanges = 0;          // in this round
    long long FailedExchangesTotal = 0;  // since the reader started
    long long Rounds = 0;             // since the reader started, this one included
    double EndedAt = 0;               // Unix time
};

// `device` names the line in every sample's labels. A value that did not
// come valid has no sample; its tank's qmx_tank_valid is 0 and its reason
// is a label of qmx_tank_failure_info.
std::string MetricsText(const std::string& device, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round);

}  // namespace qmx::tools
