#pragma once

// The simulator's station file: [tank N] sections (product, level, drift
// per hour, second-value (aux in older files), temperature, density, fault,
// script; or, to move the tank
// by volume, volume-drift, temperature-drift and delivery), a [faults]
// section (next = KIND:COUNT, queued in the order given) and a [station]
// section (tanks = the tank file that turns litres into levels). Read strictly: a
// value the simulator would otherwise take as something else (a tank "3x"
// as 3, a count "abc" as 0, a level "nan") is refused, naming its line, so
// a station set up for a test is the station the test gets.

#include <optional>
#include <string>

#include "gauge.h"

namespace qmx::sim {

// Sets `gauge` from the file at `path`. What was wrong, as
// "FILE:LINE: what" (or "cannot read FILE"), when the file is not a
// station file; the gauge is then left half set.
std::optional<std::string> LoadStationConfig(const std::string& path, TGauge& gauge);

// The same on the file's text; `name` is what the errors call it.
std::optional<std::string> ApplyStationConfig(const std::string& text, const std::string& name, TGauge& gauge);

}  // namespace qmx::sim
