#pragma once

// A simulated tank moved by its volume rather than its level: litres at
// 15 C lost or gained each hour, a delivery, a temperature that drifts. The
// tank file turns the volume into the level the gauge reports, so that a
// reader computing from the same file sees the stock the lab played: a leak
// as a loss at 15 C, a warm afternoon as a rising level that loses nothing.

#include <optional>
#include <string>
#include <variant>

#include "inventory/tank.h"

namespace qmx::sim {

struct TPlayedDelivery {
    double Litres = 0;        // at 15 C
    double AfterSeconds = 0;  // from the simulator's start
    double OverSeconds = 0;   // how long it flows, evenly
};

// "8000 after 10 min over 20 min"; why not otherwise.
std::variant<TPlayedDelivery, std::string> ParseDelivery(const std::string& text);

struct TMotion {
    double LitresPerHour = 0;  // at 15 C; below zero a leak or sales
    double DegreesPerHour = 0;
    std::optional<TPlayedDelivery> Delivery;
};

// Where a played tank's volume stopped: nowhere, or at an end of its tank.
enum class TTankEnd { None, Empty, Full };

// What the gauge reports of a tank at one time.
struct TTankState {
    double Level = 0;        // in the gauge's units
    double Temperature = 0;  // C
    double Density = 0;      // g/cm3, of the kind the tank file says the gauge gives
    std::optional<double> GrossLitres;  // when the tank is played by volume
    TTankEnd End = TTankEnd::None;
    // Why the temperature stopped drifting (the tables end there); empty while it drifts.
    std::string TemperatureHeld;
};

class TTankMotion {
public:
    // The tank file's `tank`, starting at the station file's `level`,
    // `temperature` and `density` (g/cm3, of the kind the tank file says),
    // moving as `motion` says; why not when they give no volume at 15 C.
    static std::variant<TTankMotion, std::string> Start(const qmx::TTank& tank, double level, double temperature,
                                                        double density, const TMotion& motion);

    // The tank `seconds` after the start.
    TTankState At(double seconds) const;

private:
    TTankMotion(const qmx::TTank& tank, const TMotion& motion) : FTank(tank), FMotion(motion) {}

    double NetLitresAt(double seconds) const;
    // The factor at the drifted temperature, which is held where the
    // tables end; sets the state's temperature.
    double HeldFactor(double seconds, TTankState& state) const;

    qmx::TTank FTank;  // the tank file's: not the simulator's TTank
    TMotion FMotion;
    double FStartNet = 0;        // litres at 15 C
    double FDensity15 = 0;       // kg/m3
    double FStartTemperature = 0;
};

}  // namespace qmx::sim
