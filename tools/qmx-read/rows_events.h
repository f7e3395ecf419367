#pragma once

// qmx-read --inventory FILE --from-rows CSV: the deliveries and leak tests
// in rows the reader recorded earlier, found as watching them live found
// them.

#include <string>

#include "inventory/station_inventory.h"
#include "options.h"

namespace qmx::tools {

// Reads the rows of options.FromRows (- for standard input) of the tanks
// options.Tanks names (all when none), and writes each event as a JSON line
// to options.Events, else to standard output; a summary on standard error
// unless quiet. The exit status.
int FindEventsInRows(const TOptions& options, TStationInventory& inventory);

}  // namespace qmx::tools
