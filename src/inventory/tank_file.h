#pragma once

// The tank file: one [tank N] section per tank, N as the gauge numbers it.
//
//   product = diesel        gasoline, transition, jet, fuel-oil (diesel is
//                           one), or auto: the group by the density at 15 C
//   table = tank3.csv       the calibration table, relative to this file
//   shape = horizontal-cylinder, with diameter and length in mm and
//   ends = flat or ellipsoidal:DEPTH (mm each head stands out); a tank has
//                           a table or a shape
//   capacity = 29000        the safe fill in litres (default: the table's
//                           last volume, or the shape's full volume)
//   density = observed      the gauge's density is at the product's
//                           temperature (the default), or at15
//   level-unit = cm         the gauge's level unit (default mm)
//   delivery-min = 200      litres at 15 C a delivery rises by at least
//   settle = 10 min         how long a delivery's end holds
//   quiet = 2 h             how long with no delivery and no larger step
//   quiet-step = 2          (litres between readings) before a
//                           leak test
//   leak-threshold = 0.38   litres an hour a passing leak test loses at most
//
// Read as strictly as the simulator's station file: an unknown key, a value
// that is no number, a required key missing, a section or key given twice
// are refused as "FILE:LINE: what", so that the tanks computed from are the
// tanks written down.

#include <string>
#include <variant>
#include <vector>

#include "inventory/tank.h"

namespace qmx {

// The tanks of the file at `path`, in the order given, or why it was refused.
std::variant<std::vector<TTank>, std::string> LoadTankFile(const std::string& path);

}  // namespace qmx
