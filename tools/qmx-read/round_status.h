#pragma once

// The line `systemctl status` shows of a reader run as a service: how its
// last round went, at a glance, so that a look at the unit tells a healthy
// line from one that needs a technician without opening the metrics.

#include <string>
#include <vector>

#include "metrics/exposition.h"
#include "protocol/tank_reading.h"

namespace qmx::tools {

// "round 42 ended 10:14:03Z: 3 of 3 tanks valid"; with failed tanks, the
// reason that failed most of them as the end-of-round hint picks it ("1 of
// 3 tanks valid, 2 rejected by the check byte"), or that the device has
// gone. `round` gives the round's number, end time and the device's state.
std::string RoundStatus(const std::vector<TTankReading>& readings, const TRoundFigures& round);

}  // namespace qmx::tools
