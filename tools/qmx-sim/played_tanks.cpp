#include "played_tanks.h"

#include <algorithm>
#include <variant>

#include "inventory/tank_file.h"

namespace qmx::sim {

std::optional<TLineProblem> StartPlayedTanks(const std::string& tankFile, int tankFileLine,
                                             const std::vector<TPlayedTank>& played, TGauge& gauge) {
    if (tankFile.empty()) {
        if (played.empty()) return std::nullopt;
        return TLineProblem{played.front().Line, played.front().Key +
                                                     " needs the tank file that turns litres into levels: "
                                                     "give [station] tanks = FILE"};
    }
    const auto loaded = LoadTankFile(tankFile);
    if (const auto* problem = std::get_if<std::string>(&loaded))
        return TLineProblem{tankFileLine, "tanks: " + *problem};
    const auto& tanks = std::get<std::vector<qmx::TTank>>(loaded);
    for (const TPlayedTank& tank : played) {
        const std::string section = "[tank " + std::to_string(tank.Tank) + "]";
        const auto found = std::find_if(tanks.begin(), tanks.end(),
                                        [&tank](const qmx::TTank& known) { return known.Number == tank.Tank; });
        if (found == tanks.end())
            return TLineProblem{tank.Line,
                                tank.Key + ": " + tankFile + " has no " + section + " to turn litres into levels"};
        const TTank& values = gauge.Tank(tank.Tank);
        auto started = TTankMotion::Start(*found, values.Level, values.Temperature, values.Density, tank.Motion);
        if (const auto* problem = std::get_if<std::string>(&started))
            return TLineProblem{tank.Line, tank.Key + ": " + section +
                                               "'s level, temperature and density give no volume at 15 C: " + *problem};
        gauge.SetMotion(tank.Tank, std::get<TTankMotion>(std::move(started)));
    }
    return std::nullopt;
}

}  // namespace qmx::sim
