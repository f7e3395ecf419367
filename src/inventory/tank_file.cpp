#include "inventory/tank_file.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "inventory/calibration_table.h"
#include "inventory/number_text.h"
#include "inventory/tank_sections.h"
#include "inventory/tank_volume.h"
#include "inventory/volume_correction.h"
#include "platform/decimal_number.h"
#include "platform/duration_text.h"
#include "platform/shown_text.h"

namespace qmx {
namespace {

// A tank file is a few dozen lines and a table a few thousand rows: more is
// neither.
constexpr std::size_t kLargestFile = std::size_t{1} << 22;

using TProblem = std::optional<TTankFileProblem>;

std::optional<std::string> ReadSmallFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path + ": " + std::strerror(errno);
    text.clear();
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestFile)
            return path + " is larger than " + std::to_string(kLargestFile >> 20) + " MB: no tank file or table is";
    }
    if (in.bad()) return "cannot read " + path;
    return std::nullopt;
}

const TSectionValue* Find(const TTankSection& section, const std::string& key) {
    const auto found = section.Values.find(key);
    return found == section.Values.end() ? nullptr : &found->second;
}

TTankFileProblem Refused(const TSectionValue& value, const std::string& key, const std::string& what) {
    return {value.Line, key + ": " + what};
}

// The value of `key`, a number above zero, when given.
TProblem TakePositive(const TTankSection& section, const std::string& key, double& number) {
    const TSectionValue* value = Find(section, key);
    if (value == nullptr) return std::nullopt;
    const auto parsed = ParseDecimalNumber(value->Text);
    if (!parsed || !std::isfinite(*parsed)) return Refused(*value, key, "'" + Shown(value->Text) + "' is not a number");
    if (*parsed <= 0.0) return Refused(*value, key, "'" + Shown(value->Text) + "' is not above zero");
    number = *parsed;
    return std::nullopt;
}

// A key the tank needs.
TProblem Require(const TTankSection& section, const std::string& key) {
    if (Find(section, key) != nullptr) return std::nullopt;
    return TTankFileProblem{section.Line, "[tank " + std::to_string(section.Tank) + "] has no " + key};
}

// `key`'s value, one of `names` (their first when not given).
template <std::size_t N>
TProblem TakeChoice(const TTankSection& section, const std::string& key, const char* const (&names)[N], int& chosen) {
    const TSectionValue* value = Find(section, key);
    if (value == nullptr) return std::nullopt;
    std::string all;
    for (std::size_t i = 0; i < N; ++i) {
        if (value->Text == names[i]) chosen = static_cast<int>(i);
        all += (i == 0 ? "" : " or ") + std::string(names[i]);
    }
    if (chosen >= 0) return std::nullopt;
    return Refused(*value, key, "'" + Shown(value->Text) + "' is none of " + all);
}

TProblem TakeKinds(const TTankSection& section, TTank& tank) {
    if (auto problem = Require(section, "product")) return problem;
    const TSectionValue& product = *Find(section, "product");
    const auto parsed = ParseProduct(product.Text);
    if (!parsed) return Refused(product, "product", "'" + Shown(product.Text) + "' is none of " + ProductNames());
    tank.Product = *parsed;
    constexpr const char* kDensities[] = {"observed", "at15"};
    constexpr const char* kUnits[] = {"mm", "cm"};
    int density = -1, unit = -1;
    if (auto problem = TakeChoice(section, "density", kDensities, density)) return problem;
    if (auto problem = TakeChoice(section, "level-unit", kUnits, unit)) return problem;
    tank.Density = density == 1 ? TDensityKind::At15 : TDensityKind::Observed;
    tank.MmPerLevelUnit = unit == 1 ? 10.0 : 1.0;
    return std::nullopt;
}

TProblem TakeEnds(const TTankSection& section, THorizontalCylinder& cylinder) {
    const TSectionValue* ends = Find(section, "ends");
    if (ends == nullptr || ends->Text == "flat") return std::nullopt;
    const std::string ellipsoidal = "ellipsoidal:";
    const auto depth = ends->Text.rfind(ellipsoidal, 0) == 0 ? ParseDecimalNumber(ends->Text.substr(ellipsoidal.size()))
                                                             : std::nullopt;
    if (!depth || !std::isfinite(*depth) || *depth <= 0.0)
        return Refused(*ends, "ends",
                       "'" + Shown(ends->Text) + "' is neither flat nor ellipsoidal:DEPTH (mm, above zero)");
    cylinder.HeadDepthMm = *depth;
    return std::nullopt;
}

TProblem TakeCylinder(const TTankSection& section, TTank& tank) {
    const TSectionValue& shape = *Find(section, "shape");
    if (shape.Text != "horizontal-cylinder")
        return Refused(shape, "shape", "'" + Shown(shape.Text) + "' is no shape known (horizontal-cylinder)");
    THorizontalCylinder cylinder;
    for (const char* key : {"diameter", "length"})
        if (auto problem = Require(section, key)) return problem;
    if (auto problem = TakePositive(section, "diameter", cylinder.DiameterMm)) return problem;
    if (auto problem = TakePositive(section, "length", cylinder.LengthMm)) return problem;
    if (auto problem = TakeEnds(section, cylinder)) return problem;
    tank.Calibration = cylinder;
    return std::nullopt;
}

TProblem TakeTable(const TTankSection& section, const std::string& directory, TTank& tank) {
    const TSectionValue& table = *Find(section, "table");
    const std::string path = (std::filesystem::path(directory) / table.Text).string();
    std::string text;
    if (auto problem = ReadSmallFile(path, text)) return Refused(table, "table", *problem);
    auto parsed = ParseCalibrationTable(text, path);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return Refused(table, "table", *problem);
    tank.Calibration = std::move(std::get<TCalibrationTable>(parsed));
    return std::nullopt;
}

TProblem TakeCalibration(const TTankSection& section, const std::string& directory, TTank& tank) {
    const TSectionValue *table = Find(section, "table"), *shape = Find(section, "shape");
    const std::string name = "[tank " + std::to_string(section.Tank) + "]";
    if (table != nullptr && shape != nullptr)
        return Refused(*shape, "shape", name + " has a table already (line " + std::to_string(table->Line) + ")");
    if (table == nullptr && shape == nullptr)
        return TTankFileProblem{section.Line, name + " has neither table nor shape"};
    if (shape == nullptr)
        for (const char* key : {"diameter", "length", "ends"})
            if (const TSectionValue* value = Find(section, key)) return Refused(*value, key, "only a shape takes it");
    return table != nullptr ? TakeTable(section, directory, tank) : TakeCylinder(section, tank);
}

TProblem TakeCapacity(const TTankSection& section, TTank& tank) {
    const double full = FullVolume(tank);
    tank.CapacityLitres = full;
    if (auto problem = TakePositive(section, "capacity", tank.CapacityLitres)) return problem;
    if (tank.CapacityLitres <= full) return std::nullopt;
    return Refused(*Find(section, "capacity"), "capacity",
                   NumberText(tank.CapacityLitres) + " litres is more than the tank holds (" + NumberText(full) + ")");
}

// A time with its unit, "10 min" or "2h".
TProblem TakeDuration(const TTankSection& section, const std::string& key, double& seconds) {
    const TSectionValue* value = Find(section, key);
    if (value == nullptr) return std::nullopt;
    const auto parsed = ParseDuration(value->Text);
    if (!parsed || *parsed <= 0.0)
        return Refused(*value, key, "'" + Shown(value->Text) + "' is no time above zero with its unit (s, min or h)");
    seconds = *parsed;
    return std::nullopt;
}

TProblem TakeEventLimits(const TTankSection& section, TEventLimits& limits) {
    if (auto problem = TakePositive(section, "delivery-min", limits.DeliveryMinLitres)) return problem;
    if (auto problem = TakeDuration(section, "settle", limits.SettleSeconds)) return problem;
    if (auto problem = TakeDuration(section, "quiet", limits.QuietSeconds)) return problem;
    if (auto problem = TakePositive(section, "quiet-step", limits.QuietStepLitres)) return problem;
    return TakePositive(section, "leak-threshold", limits.LeakThresholdLitresPerHour);
}

TProblem TakeTank(const TTankSection& section, const std::string& directory, TTank& tank) {
    tank.Number = section.Tank;
    if (auto problem = TakeKinds(section, tank)) return problem;
    if (auto problem = TakeCalibration(section, directory, tank)) return problem;
    if (auto problem = TakeEventLimits(section, tank.Events)) return problem;
    return TakeCapacity(section, tank);
}

}  // namespace

std::variant<std::vector<TTank>, std::string> LoadTankFile(const std::string& path) {
    std::string text;
    if (auto problem = ReadSmallFile(path, text)) return *problem;
    const auto refusal = [&path](const TTankFileProblem& problem) {
        return path + (problem.Line > 0 ? ":" + std::to_string(problem.Line) : "") + ": " + problem.What;
    };
    std::vector<TTankSection> sections;
    if (auto problem = ReadTankSections(text, sections)) return refusal(*problem);
    const std::string directory = std::filesystem::path(path).parent_path().string();
    std::vector<TTank> tanks(sections.size());
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (auto problem = TakeTank(sections[i], directory, tanks[i])) return refusal(*problem);
    return tanks;
}

}  // namespace qmx
