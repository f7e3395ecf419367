#pragma once

// A horizontal cylindrical tank's volume from its level: the segment of the
// circle below the level times the shell's length, plus the part of the two
// ellipsoidal heads below it (exact formulas, no table).

#include <string>
#include <variant>

#include "inventory/tank.h"

namespace qmx {

// The litres below `levelMm`; why none for a level above the top.
std::variant<double, std::string> CylinderVolume(const THorizontalCylinder& tank, double levelMm);

// The litres of the full tank.
double CylinderFullVolume(const THorizontalCylinder& tank);

}  // namespace qmx
