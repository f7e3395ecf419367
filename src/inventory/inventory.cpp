#include "inventory/inventory.h"

#include "inventory/tank_volume.h"
#include "inventory/volume_correction.h"
#include "protocol/answer_doubts.h"

namespace qmx {
namespace {

// The gauge gives its density in g/cm3.
constexpr double kKgM3PerGCm3 = 1000.0;

// Why nothing is computed from `reading`; nothing when it is valid and beyond doubt.
std::optional<std::string> Untrusted(const TTankReading& reading) {
    if (!reading.Valid) {
        if (!reading.Error.empty()) return "no valid reading: " + reading.Error;
        if (reading.Reason == TAttemptVerdict::Valid) return "no valid reading";
        return "no valid reading: " + ReasonText(reading);
    }
    if (reading.Doubts == 0) return std::nullopt;
    std::string doubts;
    for (const std::string& doubt : DoubtTexts(reading.Doubts)) doubts += (doubts.empty() ? "" : ", ") + doubt;
    return "reading in doubt: " + doubts;
}

void AddReason(TInventory& inventory, const std::string& reason) {
    inventory.Reason += (inventory.Reason.empty() ? "" : "; ") + reason;
}

void TakeVolume(const TTank& tank, const TTankReading& reading, TInventory& inventory) {
    if (!reading.Level) return AddReason(inventory, "no level");
    const auto gross = GrossVolume(tank, *reading.Level);
    if (const auto* problem = std::get_if<std::string>(&gross)) return AddReason(inventory, *problem);
    inventory.GrossLitres = std::get<double>(gross);
    inventory.UllageLitres = tank.CapacityLitres - *inventory.GrossLitres;
    inventory.Fill = *inventory.GrossLitres / tank.CapacityLitres;
}

void TakeCorrection(const TTank& tank, const TTankReading& reading, TInventory& inventory) {
    if (!reading.Density || !reading.Temperature) return AddReason(inventory, "no density or no temperature");
    const auto correction =
        CorrectTo15(tank.Product, tank.Density, *reading.Density * kKgM3PerGCm3, *reading.Temperature);
    if (const auto* problem = std::get_if<std::string>(&correction)) return AddReason(inventory, *problem);
    inventory.Density15 = std::get<TBaseCorrection>(correction).Density15;
    inventory.Factor = std::get<TBaseCorrection>(correction).Factor;
}

}  // namespace

TInventory ComputeInventory(const TTank& tank, const TTankReading& reading) {
    TInventory inventory;
    if (auto untrusted = Untrusted(reading)) {
        inventory.Reason = *untrusted;
        return inventory;
    }
    TakeVolume(tank, reading, inventory);
    TakeCorrection(tank, reading, inventory);
    if (inventory.GrossLitres && inventory.Factor) {
        inventory.NetLitres = *inventory.GrossLitres * *inventory.Factor;
        // litres x kg/m3: a litre is a thousandth of a cubic metre.
        inventory.MassKg = *inventory.NetLitres * *inventory.Density15 / 1000.0;
    }
    return inventory;
}

}  // namespace qmx
