#include "inventory_metrics.h"

#include <map>

#include "metrics/exposition.h"

namespace qmx::tools {
namespace {

using TByTank = std::map<int, double>;

std::string Values(const TLineLabels& line, const std::vector<TTankFigures>& tanks) {
    struct TValue {
        const char* Name;
        const char* Help;
        std::optional<double> TInventory::*Of;
        double Scale;
    };
    static const TValue kValues[] = {
        {"qmx_tank_volume_litres",
         "Volume of the tank's product at its own temperature in its last reading, in litres, by the tank file's "
         "calibration.",
         &TInventory::GrossLitres, 1},
        {"qmx_tank_volume15_litres", "Volume of the tank's product at 15 C in its last reading, in litres.",
         &TInventory::NetLitres, 1},
        // In kilograms, as a station's stock and a delivery's ticket give
        // it, though Prometheus' base unit is the gram (promtool's lint
        // says so): the name is the one dashboards were promised.
        {"qmx_tank_mass_kilograms", "Mass of the tank's product in its last reading, in kilograms.",
         &TInventory::MassKg, 1},
        {"qmx_tank_ullage_litres",
         "Litres left to the tank's safe fill in its last reading, at the product's temperature; below zero above "
         "it.",
         &TInventory::UllageLitres, 1},
        {"qmx_tank_fill_ratio", "How full the tank was in its last reading, of its safe fill: 1 at it.",
         &TInventory::Fill, 1},
    };
    std::string text;
    for (const auto& value : kValues) {
        TByTank byTank;
        for (const auto& tank : tanks)
            if (const auto& number = tank.Inventory.*value.Of) byTank[tank.Tank] = *number * value.Scale;
        text += TankSamplesText(line, value.Name, value.Help, byTank);
    }
    return text;
}

std::string Events(const TLineLabels& line, const std::vector<TTankFigures>& tanks) {
    TByTank deliveries, delivered, leakRate, leakPassed;
    for (const auto& tank : tanks) {
        deliveries[tank.Tank] = static_cast<double>(tank.Deliveries);
        if (tank.LastDelivery) delivered[tank.Tank] = tank.LastDelivery->NetLitres;
        if (tank.LastLeakTest) {
            leakRate[tank.Tank] = tank.LastLeakTest->LossLitresPerHour;
            leakPassed[tank.Tank] = tank.LastLeakTest->Passed ? 1 : 0;
        }
    }
    return TankSamplesText(line, "qmx_tank_deliveries_total", "Deliveries into the tank since the start.",
                           deliveries, TSampleKind::Counter) +
           TankSamplesText(line, "qmx_tank_last_delivery_volume15_litres",
                           "Volume at 15 C the tank's last delivery brought, in litres, counting in what was sold "
                           "while it came.",
                           delivered) +
           TankSamplesText(line, "qmx_tank_leak_rate_litres_per_hour",
                           "Loss of volume at 15 C over the tank's last leak test (a quiet time), in litres per "
                           "hour; below zero for a gain.",
                           leakRate) +
           TankSamplesText(line, "qmx_tank_leak_test_passed",
                           "1 when the tank's last leak test lost no more than the tank file's leak-threshold, "
                           "else 0.",
                           leakPassed);
}

}  // namespace

std::vector<TTankFigures> TankFigures(const TStationInventory& inventory) {
    std::vector<TTankFigures> figures;
    for (const auto& [number, stock] : inventory.Stock())
        figures.push_back({number, stock.Inventory, stock.Events.Deliveries(), stock.Events.LastDelivery(),
                           stock.Events.LastLeakTest()});
    return figures;
}

std::string InventoryText(const TLineLabels& line, const std::vector<TTankFigures>& tanks) {
    return Values(line, tanks) + Events(line, tanks);
}

}  // namespace qmx::tools
