#include "inventory/station_inventory.h"

#include <string>

namespace qmx {

TInventory NotInTankFile(int tank) {
    TInventory none;
    none.Reason = "tank " + std::to_string(tank) + " is not in the tank file";
    return none;
}

TStationInventory::TStationInventory(const std::vector<TTank>& tanks) {
    for (const TTank& tank : tanks) FStock.emplace(tank.Number, TTankStock(tank));
}

TInventory TStationInventory::Take(const TTankReading& reading, double time, std::vector<TTankEvent>& events) {
    const auto found = FStock.find(reading.Tank);
    if (found == FStock.end()) return NotInTankFile(reading.Tank);
    TTankStock& stock = found->second;
    stock.Reading = reading;
    stock.Inventory = ComputeInventory(stock.Tank, reading);
    for (TTankEvent& event : stock.Events.Feed(time, reading, stock.Inventory)) events.push_back(std::move(event));
    return stock.Inventory;
}

}  // namespace qmx
