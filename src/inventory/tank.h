#pragma once

// A tank as the inventory knows it: the product it holds, how its gauge's
// level becomes a volume (a calibration table, or the shape of a horizontal
// cylinder), the safe fill that ullage is counted to, and what kind of
// density its gauge reports.

#include <cstdint>
#include <variant>
#include <vector>

namespace qmx {

// The product groups of the refined products' volume correction; Auto picks
// the group by the density at 15 C.
enum class TProduct : std::uint8_t { Gasoline, Transition, Jet, FuelOil, Auto };

// Whether the gauge's density is at the product's temperature or at 15 C.
enum class TDensityKind : std::uint8_t { Observed, At15 };

struct TCalibrationRow {
    double Level = 0;  // in the gauge's units
    double Litres = 0;
};

// Levels strictly increasing, volumes not decreasing, two rows at least.
using TCalibrationTable = std::vector<TCalibrationRow>;

struct THorizontalCylinder {
    double DiameterMm = 0;
    double LengthMm = 0;     // of the cylindrical shell, without the heads
    double HeadDepthMm = 0;  // how far each ellipsoidal head stands out; 0 for flat ends
};

// What the tank's events are judged by; the tank file's keys are named.
struct TEventLimits {
    double DeliveryMinLitres = 200;  // delivery-min: a rise at 15 C above it is a delivery
    double SettleSeconds = 600;      // settle: how long a delivery's end holds before it is one
    double QuietSeconds = 7200;      // quiet: how long with no delivery and no step before a leak test
    double QuietStepLitres = 2;      // quiet-step: the largest step of the volume between readings in a quiet time
    double LeakThresholdLitresPerHour = 0.38;  // leak-threshold: a loss above it fails the leak test
};

struct TTank {
    int Number = 0;  // as the gauge numbers it
    TProduct Product = TProduct::Auto;
    std::variant<TCalibrationTable, THorizontalCylinder> Calibration;
    double CapacityLitres = 0;  // the safe fill
    TDensityKind Density = TDensityKind::Observed;
    double MmPerLevelUnit = 1;  // 10 for a gauge that gives its level in cm
    TEventLimits Events;
};

}  // namespace qmx
