#pragma once

// A tank's calibration table: rows "level,litres", the level in the gauge's
// units. Read strictly, so that a table with a typing error is refused with
// its line rather than taken as another tank's: levels strictly increasing,
// volumes never decreasing (and rising somewhere), decimal numbers only,
// two rows at least. Blank
// lines and lines starting with # are skipped.

#include <string>
#include <variant>

#include "inventory/tank.h"

namespace qmx {

// The table in `text`; what was wrong otherwise, as "NAME:LINE: what"
// (`name` is what the errors call the file).
std::variant<TCalibrationTable, std::string> ParseCalibrationTable(const std::string& text, const std::string& name);

// The volume in litres at `level`, linearly between the rows around it; why
// there is none when the level is off the table.
std::variant<double, std::string> TableVolume(const TCalibrationTable& table, double level);

}  // namespace qmx
