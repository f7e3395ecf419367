#pragma once

// What the station's inventory adds to the reader's metrics: what is in
// each tank of the tank file, its deliveries and its leak tests. The
// figures are plain values taken from the inventory, so that what is
// written does not depend on how the inventory came by them.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "inventory/station_inventory.h"
#include "inventory/tank_events.h"
#include "metrics/exposition.h"

namespace qmx::tools {

// One tank of the tank file as its metrics show it.
struct TTankFigures {
    int Tank = 0;
    TInventory Inventory;  // of its last reading: no values before one
    std::size_t Deliveries = 0;
    std::optional<TDelivery> LastDelivery;
    std::optional<TLeakTest> LastLeakTest;
};

// Every tank of the file, by number.
std::vector<TTankFigures> TankFigures(const TStationInventory& inventory);

// The inventory's families, labelled as the tanks' readings are. A tank
// has a value's sample only when its last reading gave that value, and a
// family no tank has a sample of is left out; the deliveries' counter has
// every tank.
std::string InventoryText(const TLineLabels& line, const std::vector<TTankFigures>& tanks);

}  // namespace qmx::tools
