#pragma once

// The reader's rows from exchanges overheard on a line: one row per tank
// each time its L exchange completes, with its G exchange when the host
// asks one right after, judged as the reader judges its own.

#include <optional>
#include <vector>

#include "protocol/overheard_exchanges.h"
#include "reading.h"

namespace qmx::tools {

struct TMonitorRow {
    TTankReading Reading;
    std::optional<double> DelaySeconds;  // of the L answer (else the G answer)
    bool InTime = true;                  // every answer whole within the second
    int Requests = 0;                    // the host's, L and G together
};

class TMonitorRows {
public:
    // The rows `exchange` completes, oldest first.
    std::vector<TMonitorRow> Take(const TOverheardExchange& exchange);
    // The row of a valid L exchange whose G the host has not asked (yet).
    std::vector<TMonitorRow> Flush();

private:
    std::optional<TMonitorRow> FAwaitingDensity;
};

// "answer after 52 ms, 1 request", with "outside the second" when it was.
std::string MonitorNote(const TMonitorRow& row);

// The reader's rows with the delay and the requests after them.
std::string MonitorTableHeader();
std::string MonitorTableRow(const TMonitorRow& row);
std::string MonitorCsvHeader();
std::string MonitorCsvRow(const TMonitorRow& row);
std::string MonitorJsonLine(const TMonitorRow& row);

}  // namespace qmx::tools
