#include "tank_motion.h"

#include <algorithm>
#include <cmath>

#include "inventory/tank_volume.h"
#include "inventory/volume_correction.h"
#include "platform/decimal_number.h"
#include "platform/duration_text.h"
#include "platform/shown_text.h"

namespace qmx::sim {
namespace {

constexpr double kSecondsPerHour = 3600.0;
// The gauge gives its density in g/cm3.
constexpr double kKgM3PerGCm3 = 1000.0;
// Halving a span of temperatures this often leaves far less than the
// gauge's tenth of a degree.
constexpr int kHalvings = 40;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::variant<TPlayedDelivery, std::string> ParseDelivery(const std::string& text) {
    const std::string kAfter = " after ", kOver = " over ";
    const auto after = text.find(kAfter), over = text.find(kOver);
    std::optional<double> litres, start, length;
    if (after != std::string::npos && over != std::string::npos && after < over) {
        litres = ParseDecimalNumber(Trim(text.substr(0, after)));
        start = ParseDuration(Trim(text.substr(after + kAfter.size(), over - after - kAfter.size())));
        length = ParseDuration(Trim(text.substr(over + kOver.size())));
    }
    if (!litres || !std::isfinite(*litres) || *litres <= 0.0 || !start || !length || *length <= 0.0)
        return "delivery = LITRES after TIME over TIME: '" + Shown(text) +
               "' (litres at 15 C above zero, times with their unit: 8000 after 10 min over 20 min)";
    return TPlayedDelivery{*litres, *start, *length};
}

std::variant<TTankMotion, std::string> TTankMotion::Start(const qmx::TTank& tank, double level, double temperature,
                                                          double density, const TMotion& motion) {
    const auto correction = CorrectTo15(tank.Product, tank.Density, density * kKgM3PerGCm3, temperature);
    if (const auto* problem = std::get_if<std::string>(&correction)) return *problem;
    const auto gross = GrossVolume(tank, level);
    if (const auto* problem = std::get_if<std::string>(&gross)) return *problem;
    TTankMotion started(tank, motion);
    started.FStartTemperature = temperature;
    started.FDensity15 = std::get<TBaseCorrection>(correction).Density15;
    started.FStartNet = std::get<double>(gross) * std::get<TBaseCorrection>(correction).Factor;
    return started;
}

double TTankMotion::NetLitresAt(double seconds) const {
    double net = FStartNet + FMotion.LitresPerHour * seconds / kSecondsPerHour;
    if (const auto& delivery = FMotion.Delivery)
        net += delivery->Litres * std::clamp((seconds - delivery->AfterSeconds) / delivery->OverSeconds, 0.0, 1.0);
    return net;
}

double TTankMotion::HeldFactor(double seconds, TTankState& state) const {
    const auto factorAt = [this](double temperature) {
        return qmx::FactorAt(FTank.Product, FDensity15, temperature);
    };
    state.Temperature = FStartTemperature + FMotion.DegreesPerHour * seconds / kSecondsPerHour;
    const auto factor = factorAt(state.Temperature);
    if (const double* value = std::get_if<double>(&factor)) return *value;
    state.TemperatureHeld = std::get<std::string>(factor);
    // The start had a factor: the drift stops at the last temperature on its
    // way that has one.
    double within = FStartTemperature, beyond = state.Temperature;
    for (int i = 0; i < kHalvings; ++i) {
        const double middle = within + (beyond - within) / 2.0;
        (std::holds_alternative<double>(factorAt(middle)) ? within : beyond) = middle;
    }
    state.Temperature = within;
    return std::get<double>(factorAt(within));
}

TTankState TTankMotion::At(double seconds) const {
    TTankState state;
    const double factor = HeldFactor(seconds, state);
    // Mass kept: the density at the temperature is the one at 15 C times the factor.
    const bool observed = FTank.Density == TDensityKind::Observed;
    state.Density = (observed ? FDensity15 * factor : FDensity15) / kKgM3PerGCm3;
    const double empty = EmptyTank(FTank).Litres, full = FullVolume(FTank);
    const double gross = NetLitresAt(seconds) / factor;
    state.End = gross < empty ? TTankEnd::Empty : gross > full ? TTankEnd::Full : TTankEnd::None;
    state.GrossLitres = std::clamp(gross, empty, full);
    state.Level = std::get<double>(LevelForVolume(FTank, *state.GrossLitres));
    return state;
}

}  // namespace qmx::sim
