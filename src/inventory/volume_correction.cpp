#include "inventory/volume_correction.h"

#include <cmath>
#include <iterator>

#include "inventory/number_text.h"

namespace qmx {
namespace {

constexpr double kBaseTemperature = 15.0;
// The density at 15 C is taken once an iteration moves it less than this.
constexpr double kSettled = 0.001;  // kg/m3
constexpr int kMostIterations = 50;

// A product group of table 54B: alpha = A + K0 / rho15^2 + K1 / rho15 over
// its densities at 15 C (A is the transition band's alone).
struct TGroup {
    TProduct Product;
    const char* Name;
    double Lowest, Highest;  // kg/m3 at 15 C
    double K0, K1, A;
};

constexpr TGroup kGroups[] = {
    {TProduct::Gasoline, "gasoline", 653.0, 770.5, 346.4228, 0.4388, 0.0},
    {TProduct::Transition, "transition", 770.5, 787.5, 2680.3206, 0.0, -0.00336312},
    {TProduct::Jet, "jet", 787.5, 838.5, 594.5418, 0.0, 0.0},
    {TProduct::FuelOil, "fuel-oil", 838.5, 1075.0, 186.9696, 0.4862, 0.0},
};

// Table 54B's temperatures: from -18 C for every density, up to a limit
// that rises with the density.
constexpr double kLowestTemperature = -18.0;
struct TTemperatureLimit {
    double UpToDensity;  // kg/m3 at 15 C
    double Highest;      // C
};
constexpr TTemperatureLimit kHighestTemperatures[] = {{778.5, 90.0}, {824.0, 125.0}, {1075.0, 150.0}};

double HighestTemperature(double density15) {
    for (const TTemperatureLimit& limit : kHighestTemperatures)
        if (density15 <= limit.UpToDensity) return limit.Highest;
    return kHighestTemperatures[std::size(kHighestTemperatures) - 1].Highest;
}

// A named product's group; for Auto the group of `density15`, the nearest
// end's beyond the tables (an estimate may stray there on its way).
const TGroup& GroupFor(TProduct product, double density15) {
    for (const TGroup& group : kGroups)
        if (product == TProduct::Auto ? density15 < group.Highest : group.Product == product) return group;
    return kGroups[std::size(kGroups) - 1];
}

double Factor(const TGroup& group, double density15, double temperature) {
    const double alpha = group.A + group.K0 / (density15 * density15) + group.K1 / density15;
    const double rise = temperature - kBaseTemperature;
    return std::exp(-alpha * rise * (1.0 + 0.8 * alpha * rise));
}

// A named product keeps its group's constants over the tables' whole range
// of densities: a diesel of 830 kg/m3 at 15 C, common in winter grades, is
// still corrected as a fuel oil, which is what its owner named it. Only the
// transition band's equation is held to its band: beyond it alpha soon
// falls below zero.
std::optional<std::string> OutsideTables(TProduct product, double density15, double temperature) {
    const bool band = product == TProduct::Transition;
    const TGroup& group = GroupFor(product, density15);
    const double lowest = band ? group.Lowest : kGroups[0].Lowest;
    const double highest = band ? group.Highest : kGroups[std::size(kGroups) - 1].Highest;
    if (density15 < lowest || density15 > highest)
        return "density at 15 C " + NumberText(density15) + " kg/m3 is outside " +
               (band ? std::string(group.Name) + "'s range" : std::string("table 54B")) + " (" + NumberText(lowest) +
               " to " + NumberText(highest) + ")";
    const double hottest = HighestTemperature(density15);
    if (temperature < kLowestTemperature || temperature > hottest)
        return "temperature " + NumberText(temperature) + " C is outside table 54B for that density (" +
               NumberText(kLowestTemperature) + " to " + NumberText(hottest) + " C)";
    return std::nullopt;
}

// Table 53B: the density at 15 C whose factor brings it to `observed`.
std::optional<double> SettledDensity15(TProduct product, double observed, double temperature) {
    double density15 = observed;
    for (int i = 0; i < kMostIterations; ++i) {
        const double next = observed / Factor(GroupFor(product, density15), density15, temperature);
        const bool settled = std::fabs(next - density15) < kSettled;
        density15 = next;
        if (settled) return density15;
    }
    return std::nullopt;
}

}  // namespace

std::variant<TBaseCorrection, std::string> CorrectTo15(TProduct product, TDensityKind kind, double density,
                                                       double temperature) {
    if (!std::isfinite(density) || !std::isfinite(temperature) || density <= 0.0)
        return "no density or temperature to correct with";
    // Checked before 53B's iteration, which a wild temperature would send astray.
    const double hottest = kHighestTemperatures[std::size(kHighestTemperatures) - 1].Highest;
    if (temperature < kLowestTemperature || temperature > hottest)
        return "temperature " + NumberText(temperature) + " C is outside table 54B (" + NumberText(kLowestTemperature) +
               " to " + NumberText(hottest) + " C)";
    double density15 = density;
    if (kind == TDensityKind::Observed) {
        const auto settled = SettledDensity15(product, density, temperature);
        if (!settled) return "the density at 15 C does not settle from " + NumberText(density) + " kg/m3";
        density15 = *settled;
    }
    if (auto outside = OutsideTables(product, density15, temperature)) return *outside;
    return TBaseCorrection{density15, Factor(GroupFor(product, density15), density15, temperature)};
}

std::variant<double, std::string> FactorAt(TProduct product, double density15, double temperature) {
    if (!std::isfinite(density15) || !std::isfinite(temperature)) return "no density or temperature to correct with";
    if (auto outside = OutsideTables(product, density15, temperature)) return *outside;
    return Factor(GroupFor(product, density15), density15, temperature);
}

std::optional<TProduct> ParseProduct(const std::string& name) {
    if (name == "diesel") return TProduct::FuelOil;
    if (name == "auto") return TProduct::Auto;
    for (const TGroup& group : kGroups)
        if (name == group.Name) return group.Product;
    return std::nullopt;
}

std::string ProductNames() {
    std::string names;
    for (const TGroup& group : kGroups) names += std::string(group.Name) + ", ";
    return names + "diesel, auto";
}

std::string ProductName(TProduct product) {
    for (const TGroup& group : kGroups)
        if (group.Product == product) return group.Name;
    return "auto";
}

}  // namespace qmx
