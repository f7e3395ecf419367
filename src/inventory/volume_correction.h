#pragma once

// The correction of a refined product's volume to 15 C: ASTM D1250 / API
// MPMS 11.1 (1980), tables 54B (the factor from the density at 15 C) and
// 53B (the density at 15 C from the density at the product's temperature),
// computed from the tables' equations with no intermediate rounding. The
// printed 53B also corrects a glass hydrometer's reading for the glass; a
// gauge measures the density itself, so nothing here does.

#include <optional>
#include <string>
#include <variant>

#include "inventory/tank.h"

namespace qmx {

struct TBaseCorrection {
    double Density15 = 0;  // kg/m3
    double Factor = 0;     // the VCF: volume at 15 C per volume at the temperature
};

// The correction for a product at `temperature` (C) whose gauge density,
// of kind `kind`, is `density` kg/m3; why there is none when the density or
// the temperature lies outside the tables (or, for a named product, the
// density outside its group).
std::variant<TBaseCorrection, std::string> CorrectTo15(TProduct product, TDensityKind kind, double density,
                                                       double temperature);

// The factor (volume at 15 C per volume at `temperature`) of a product
// whose density at 15 C is `density15` kg/m3; why there is none outside the
// tables. The way back from a volume at 15 C, for whoever plays a tank.
std::variant<double, std::string> FactorAt(TProduct product, double density15, double temperature);

// The product a tank file names ("diesel" is a fuel oil).
std::optional<TProduct> ParseProduct(const std::string& name);
// The names ParseProduct takes, for messages: "gasoline, transition, ...".
std::string ProductNames();
// The name ParseProduct takes for `product` ("fuel-oil" for diesel too).
std::string ProductName(TProduct product);

}  // namespace qmx
