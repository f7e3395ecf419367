#pragma once

// The tanks a station file moves by volume (volume-drift,
// temperature-drift, delivery), started on the gauge once the whole file is
// read: each from its level, temperature and density there, through the
// tank file the station file names.

#include <optional>
#include <string>
#include <vector>

#include "gauge.h"
#include "tank_motion.h"

namespace qmx::sim {

struct TPlayedTank {
    int Tank = 0;
    int Line = 0;     // of the first key that moves it by volume
    std::string Key;  // that key
    TMotion Motion;
};

// What is wrong, and the station file's line it is on.
struct TLineProblem {
    int Line = 0;
    std::string What;
};

// Starts each of `played` on `gauge`, through the tank file at `tankFile`
// (named on line `tankFileLine`; empty when the station file names none,
// which is refused when a tank is played). A named tank file is read even
// when no tank is played, so that a broken one is found at once.
std::optional<TLineProblem> StartPlayedTanks(const std::string& tankFile, int tankFileLine,
                                             const std::vector<TPlayedTank>& played, TGauge& gauge);

}  // namespace qmx::sim
