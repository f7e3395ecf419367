#include "inventory/tank_volume.h"

#include <cmath>

#include "inventory/calibration_table.h"
#include "inventory/horizontal_cylinder.h"
#include "inventory/number_text.h"

namespace qmx {
namespace {

// Halving a level span of 100000 units 60 times leaves far less than the
// gauge's hundredth.
constexpr int kHalvings = 60;

// The highest level in the gauge's units.
double FullLevel(const TTank& tank) {
    if (const auto* table = std::get_if<TCalibrationTable>(&tank.Calibration)) return table->back().Level;
    return std::get<THorizontalCylinder>(tank.Calibration).DiameterMm / tank.MmPerLevelUnit;
}

}  // namespace

std::variant<double, std::string> GrossVolume(const TTank& tank, double level) {
    if (const auto* table = std::get_if<TCalibrationTable>(&tank.Calibration)) return TableVolume(*table, level);
    return CylinderVolume(std::get<THorizontalCylinder>(tank.Calibration), level * tank.MmPerLevelUnit);
}

double FullVolume(const TTank& tank) {
    if (const auto* table = std::get_if<TCalibrationTable>(&tank.Calibration)) return table->back().Litres;
    return CylinderFullVolume(std::get<THorizontalCylinder>(tank.Calibration));
}

TLevelVolume EmptyTank(const TTank& tank) {
    if (const auto* table = std::get_if<TCalibrationTable>(&tank.Calibration))
        return {table->front().Level, table->front().Litres};
    return {0.0, 0.0};
}

std::variant<double, std::string> LevelForVolume(const TTank& tank, double litres) {
    const TLevelVolume empty = EmptyTank(tank);
    const double full = FullVolume(tank);
    if (!std::isfinite(litres) || litres < empty.Litres || litres > full)
        return NumberText(litres) + " litres is beyond the tank (" + NumberText(empty.Litres) + " to " +
               NumberText(full) + ")";
    // The volume never falls as the level rises: halve the span whose ends
    // hold less and at least `litres`.
    double low = empty.Level, high = FullLevel(tank);
    for (int i = 0; i < kHalvings && high - low > 0.0; ++i) {
        const double middle = low + (high - low) / 2.0;
        (std::get<double>(GrossVolume(tank, middle)) < litres ? low : high) = middle;
    }
    return high;
}

}  // namespace qmx
