#pragma once

// The readings of a round in Prometheus' text exposition format, the form
// node exporter's textfile collector reads (a station's tanks feed an
// existing monitoring system with no server of ours) and the reader's own
// exporter serves.

#include <map>
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
    bool DevicePresent = true;        // when the round ended
    // Unix time of each tank's last reading that was valid and without
    // doubt, since the reader started: a tank is absent until it has one.
    std::map<int, double> LastValidAt;
};

// `device` names the line in every sample's labels. A value that did not
// come valid has no sample; its tank's qmx_tank_valid is 0 and its reason
// is a label of qmx_tank_failure_info. A reading the driver took as valid
// but that is in doubt keeps qmx_tank_valid 1 (the driver's verdict) and
// has qmx_tank_doubtful 1, with a qmx_tank_doubt_info series per doubt.
// Label values are UTF-8 whatever bytes `device` holds.
std::string MetricsText(const std::string& device, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round);

// Whether a round reached the gauge: the device was there at its end and
// some tank's reading got an answer (a value, or a failure other than no
// answer). A gauge that answers nonsense is reached; a silent line is not.
bool ReachedGauge(const std::vector<TTankReading>& readings, bool devicePresent);

// What a scrape of the reader itself gets: qmx_up, then the round's
// MetricsText; before the first round has ended, qmx_up 0 and the build
// info alone, so that a reader still in its first minute is not taken for
// a gauge with no tanks.
std::string ScrapeText(const std::string& device, const std::vector<TTankReading>& readings,
                       const TRoundFigures& round);
std::string ScrapeTextBeforeFirstRound(const std::string& device);

}  // namespace qmx::tools
