#include "tanks_json.h"

#include <cmath>
#include <cstdio>

#include "event_json.h"
#include "inventory/volume_correction.h"
#include "inventory_columns.h"
#include "json_string.h"
#include "reading.h"

namespace qmx::tools {
namespace {

std::string Number(const std::optional<double>& value, int decimals) {
    if (!value || !std::isfinite(*value)) return "null";
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

std::string FactsFields(const TTankFacts& facts) {
    return InventoryJsonFields(facts.Inventory) + ", \"capacity_l\": " + Number(facts.CapacityLitres, 1) +
           ", \"product\": " + JsonString(ProductName(facts.Product)) +
           ", \"deliveries\": " + std::to_string(facts.Deliveries) +
           ", \"last_delivery\": " + (facts.LastDelivery ? DeliveryJson(*facts.LastDelivery) : "null") +
           ", \"leak_test\": " + (facts.LastLeakTest ? LeakTestJson(*facts.LastLeakTest) : "null");
}

// A tank the tank file does not have: the same keys, with nothing known.
std::string UnknownTankFields(int tank) {
    return InventoryJsonFields(NotInTankFile(tank)) +
           ", \"capacity_l\": null, \"product\": null, \"deliveries\": 0, \"last_delivery\": null, \"leak_test\": null";
}

std::string TankJson(const TTankView& view, bool tankFile) {
    const TTankReading& reading = view.Reading;
    std::string json = "{";
    if (!reading.Time.empty()) json += "\"time\": " + JsonString(reading.Time) + ", ";
    json += JsonFields(reading);
    if (view.Facts) json += FactsFields(*view.Facts);
    else if (tankFile)
        json += UnknownTankFields(reading.Tank);
    return json + "}";
}

}  // namespace

std::string TanksJson(const TStationView& station) {
    std::string json = "{\"time\": " + (station.Time ? JsonString(UtcStamp(*station.Time)) : std::string("null")) +
                       ", \"device\": " + JsonString(station.Device) +
                       ", \"tank_file\": " + (station.TankFile ? "true" : "false") + ", \"tanks\": [";
    for (std::size_t i = 0; i < station.Tanks.size(); ++i)
        json += (i == 0 ? "\n  " : ",\n  ") + TankJson(station.Tanks[i], station.TankFile);
    return json + (station.Tanks.empty() ? "]}\n" : "\n]}\n");
}

TTankFacts FactsOf(const TTankStock& stock) {
    TTankFacts facts;
    facts.Product = stock.Tank.Product;
    facts.CapacityLitres = stock.Tank.CapacityLitres;
    facts.Inventory = stock.Inventory;
    facts.Deliveries = stock.Events.Deliveries();
    facts.LastDelivery = stock.Events.LastDelivery();
    facts.LastLeakTest = stock.Events.LastLeakTest();
    return facts;
}

TStationView ViewOfRound(const std::string& device, double endedAt, const std::vector<TTankReading>& readings,
                         const TStationInventory* station) {
    TStationView view;
    view.Device = device;
    view.Time = endedAt;
    view.TankFile = station != nullptr;
    for (const TTankReading& reading : readings) {
        TTankView tank{reading, std::nullopt};
        if (station != nullptr)
            if (const auto found = station->Stock().find(reading.Tank); found != station->Stock().end())
                tank.Facts = FactsOf(found->second);
        view.Tanks.push_back(std::move(tank));
    }
    return view;
}

}  // namespace qmx::tools
