#pragma once

// A station's tanks over time: each reading's inventory, computed from the
// tank file, and the events the readings complete, tank by tank. The reader
// keeps one for a run, fed live or from rows recorded earlier.

#include <map>
#include <vector>

#include "inventory/inventory.h"
#include "inventory/tank.h"
#include "inventory/tank_events.h"
#include "protocol/tank_reading.h"

namespace qmx {

// A tank of the file as its last reading left it, with its events so far.
struct TTankStock {
    TTank Tank;
    std::optional<TTankReading> Reading;  // none before its first
    TInventory Inventory;                 // from that reading
    TTankEvents Events;

    explicit TTankStock(const TTank& tank) : Tank(tank), Events(tank) {}
};

// The inventory of a tank the file does not have: no values, and why.
TInventory NotInTankFile(int tank);

class TStationInventory {
public:
    explicit TStationInventory(const std::vector<TTank>& tanks);

    // The inventory from `reading`, taken at `time` (seconds since 1970,
    // UTC), and the events it completes, appended to `events`. A tank the
    // file does not have gets no values, and says so.
    TInventory Take(const TTankReading& reading, double time, std::vector<TTankEvent>& events);

    // The file's tanks by number.
    const std::map<int, TTankStock>& Stock() const { return FStock; }

private:
    std::map<int, TTankStock> FStock;
};

}  // namespace qmx
