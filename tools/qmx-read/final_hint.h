#pragma once

// What the reader tells a technician when no tank reads valid: the fault's
// own suspects, from the reason the tanks failed for, since a gauge that
// answers with changed bytes needs other checks than one that is silent.

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/tank_reading.h"

namespace qmx::tools {

// Of the tanks that failed, the reason that failed most, with how many it
// failed; of as many, the reason met first. Silence (a tank that made no
// attempt, its device gone, met silence too) only when no tank met anything
// else: once a gauge has answered something, silence says nothing of the
// line. Tanks 0 when none failed.
struct TMainFailure {
    TAttemptVerdict Reason = TAttemptVerdict::NoAnswer;
    std::size_t Tanks = 0;
};
TMainFailure MainFailure(const std::vector<TTankReading>& readings);

// The line said at the end of a single round in which no tank read valid,
// naming `device`; empty when some tank did (or none was read). When every
// failed tank met silence, only whether the gauge is there at all.
// Otherwise the reason that failed most tanks: "qmx-read: no valid answer
// from DEV: 3 tanks rejected by the check byte: the gauge answers, but ...".
std::string FinalHint(const std::vector<TTankReading>& readings, const std::string& device);

// Said as soon as the first tank read fails while no tank has answered:
// "qmx-read: no tank has answered yet: is the gauge connected, ...?", or
// with the tank's reason when the gauge did send something.
std::string NoAnswerYetNote(const TTankReading& reading);

}  // namespace qmx::tools
