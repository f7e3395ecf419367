#pragma once

// The reader's readings as metrics: the shared exposition (a station's
// tanks feed an existing monitoring system with no server of ours), and
// what the reader's own exporter serves.

#include <string>
#include <vector>

#include "inventory/station_inventory.h"
#include "metrics/exposition.h"
#include "reading.h"

namespace qmx::tools {

// The round's metrics file, with the reader's build info. A failed tank
// for which no exchange was recorded was not asked: its device had gone.
// With the station's inventory, what is in each tank of its tank file and
// the tank's deliveries and leak tests follow.
std::string MetricsText(const TLineLabels& line, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round, const TStationInventory* inventory = nullptr);

// Whether a round reached the gauge: the device was there at its end and
// some tank's reading got an answer (a value, or a failure other than no
// answer). A gauge that answers nonsense is reached; a silent line is not.
bool ReachedGauge(const std::vector<TTankReading>& readings, bool devicePresent);

// What a scrape of the reader itself gets: qmx_up, then the round's
// MetricsText; before the first round has ended, qmx_up 0 and the build
// info alone, so that a reader still in its first minute is not taken for
// a gauge with no tanks.
std::string ScrapeText(const TLineLabels& line, const std::vector<TTankReading>& readings,
                       const TRoundFigures& round, const TStationInventory* inventory = nullptr);
std::string ScrapeTextBeforeFirstRound(const TLineLabels& line);

}  // namespace qmx::tools
