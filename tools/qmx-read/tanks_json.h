#pragma once

// The reader's last round as one JSON document, for the live page of the
// station (/tanks.json): each tank's row, and with a tank file what is in
// the tank and what happened in it. Built from plain values, so that what
// the page shows can be checked without a gauge or a tank's history.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "inventory/station_inventory.h"
#include "inventory/tank_events.h"
#include "protocol/tank_reading.h"

namespace qmx::tools {

// What the tank file and the tank's events add to its reading.
struct TTankFacts {
    TProduct Product = TProduct::Auto;
    double CapacityLitres = 0;
    TInventory Inventory;  // from this reading
    std::size_t Deliveries = 0;
    std::optional<TDelivery> LastDelivery;
    std::optional<TLeakTest> LastLeakTest;
};

struct TTankView {
    TTankReading Reading;
    std::optional<TTankFacts> Facts;  // none without a tank file, or for a tank it does not have
};

struct TStationView {
    std::string Device;
    std::optional<double> Time;  // when the round ended, seconds since 1970; none before the first
    bool TankFile = false;       // whether the reader was given one
    std::vector<TTankView> Tanks;
};

// {"time": "2026-...Z" or null, "device": ..., "tank_file": true,
//  "tanks": [{row fields, "volume_l": ..., ..., "leak_test": ...}, ...]}
std::string TanksJson(const TStationView& station);

// The facts the stock holds for its tank, as its last reading left them.
TTankFacts FactsOf(const TTankStock& stock);

// A round's readings, each with its tank's facts when `station` has it.
TStationView ViewOfRound(const std::string& device, double endedAt, const std::vector<TTankReading>& readings,
                         const TStationInventory* station);

}  // namespace qmx::tools
