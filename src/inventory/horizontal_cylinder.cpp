#include "inventory/horizontal_cylinder.h"

#include <algorithm>
#include <cmath>

#include "inventory/number_text.h"

namespace qmx {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCubicMmPerLitre = 1e6;

// The area of a circle of radius r below a chord at height h from its bottom.
double SegmentArea(double r, double h) {
    const double below = r - h;  // from the centre down to the chord
    return r * r * std::acos(std::clamp(below / r, -1.0, 1.0)) - below * std::sqrt(std::max(0.0, 2.0 * r * h - h * h));
}

// The two heads together make an ellipsoid with semi-axes a, r, r; filled to
// h its horizontal slices integrate to pi a h^2 (3r - h) / (3r).
double HeadsVolume(double a, double r, double h) { return kPi * a * h * h * (3.0 * r - h) / (3.0 * r); }

}  // namespace

std::variant<double, std::string> CylinderVolume(const THorizontalCylinder& tank, double levelMm) {
    if (levelMm < 0.0 || levelMm > tank.DiameterMm)
        return "level " + NumberText(levelMm) + " mm is off the tank (0 to its diameter, " +
               NumberText(tank.DiameterMm) + " mm)";
    const double r = tank.DiameterMm / 2.0;
    const double cubicMm = SegmentArea(r, levelMm) * tank.LengthMm + HeadsVolume(tank.HeadDepthMm, r, levelMm);
    return cubicMm / kCubicMmPerLitre;
}

double CylinderFullVolume(const THorizontalCylinder& tank) {
    return std::get<double>(CylinderVolume(tank, tank.DiameterMm));
}

}  // namespace qmx
