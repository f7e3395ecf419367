#pragma once

// A tank's gross volume from its gauge's level, by its calibration table or
// its shape, and the way back: the level a volume stands at.

#include <string>
#include <variant>

#include "inventory/tank.h"

namespace qmx {

// The litres below `level` (in the gauge's units); why none when the level
// is off the table or the tank.
std::variant<double, std::string> GrossVolume(const TTank& tank, double level);

// The litres of the full tank: the table's last volume, or the shape's.
double FullVolume(const TTank& tank);

// The lowest level (in the gauge's units) the tank's volume stands at, and
// the litres there.
struct TLevelVolume {
    double Level = 0;
    double Litres = 0;
};
TLevelVolume EmptyTank(const TTank& tank);

// The level at which the tank holds `litres`; why none for a volume below
// the empty tank's or above the full one's. Where a table's volume stays
// flat over a span of levels, some level of that span.
std::variant<double, std::string> LevelForVolume(const TTank& tank, double litres);

}  // namespace qmx
