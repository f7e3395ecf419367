#pragma once

// What is in a tank, from one gauge reading: the gross volume at the
// product's temperature, the density and volume at 15 C, the mass, and the
// ullage and fill against the safe fill. Nothing is computed from a reading
// that is not valid or is in doubt.

#include <optional>
#include <string>

#include "inventory/tank.h"
#include "protocol/tank_reading.h"

namespace qmx {

struct TInventory {
    std::optional<double> GrossLitres;  // at the product's temperature
    std::optional<double> Density15;    // kg/m3
    std::optional<double> Factor;       // the VCF, volume at 15 C per gross volume
    std::optional<double> NetLitres;    // at 15 C
    std::optional<double> MassKg;
    std::optional<double> UllageLitres;  // left to the safe fill; below zero above it
    std::optional<double> Fill;          // of the safe fill: 1 at it
    // Why values are missing ("; " between reasons); empty when none is.
    std::string Reason;
};

TInventory ComputeInventory(const TTank& tank, const TTankReading& reading);

}  // namespace qmx
