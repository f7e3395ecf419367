#include "station_config.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/decimal_number.h"
#include "platform/shown_text.h"
#include "platform/whole_number.h"
#include "played_tanks.h"
#include "text_file.h"

namespace qmx::sim {
namespace {

// The second value's key is named as everything else names it; the
// station files written before say aux, and are read as they were.
constexpr const char* kSecondValueKey = "second-value";
constexpr const char* kOldSecondValueKey = "aux";

constexpr int kMostRequests = 1000000;
// A station file is a few dozen lines; more is no station file.
constexpr std::size_t kLargestStationFile = std::size_t{1} << 20;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<std::string> ParseNumber(const std::string& key, const std::string& value, double& number) {
    const auto decimal = ParseDecimalNumber(value);
    if (!decimal) return Shown(key) + ": '" + Shown(value) + "' is not a number";
    if (!std::isfinite(*decimal)) return Shown(key) + ": '" + Shown(value) + "' is out of range";
    number = *decimal;
    return std::nullopt;
}

class TReader {
public:
    explicit TReader(TGauge& gauge) : FGauge(gauge) {}

    // What is wrong with line `number`, or nothing.
    std::optional<std::string> Take(const std::string& line, int number) {
        FLine = number;
        if (line.front() == '[') return Section(line);
        const auto equals = line.find('=');
        const std::string key = equals == std::string::npos ? "" : Trim(line.substr(0, equals));
        if (key.empty()) return "not key = value: '" + Shown(line) + "'";
        const std::string value = Trim(line.substr(equals + 1));
        if (FInFaults) return Faults(key, value);
        if (FInStation) return StationValue(key, value);
        if (FTank == 0) return Shown(key) + " outside a section ([station], [tank N] or [faults])";
        // A second value would silently win over the first; the second
        // value's two spellings are one key.
        const std::string once = key == kOldSecondValueKey ? kSecondValueKey : key;
        if (const auto first = FKeys.emplace(once, FLine); !first.second)
            return Shown(key) + " again in " + FSection + " (first on line " + std::to_string(first.first->second) + ")";
        if (auto clash = Clash(key)) return clash;
        return TankValue(key, value);
    }

    // What is wrong once the whole file is read; `name` is what the errors
    // call the file, and where a tank file it names is looked for.
    std::optional<std::string> Finish(const std::string& name) {
        std::vector<TPlayedTank> played;
        for (const auto& [tank, moved] : FPlayed) played.push_back(moved);
        const std::string path =
            FTankFile.empty() ? "" : (std::filesystem::path(name).parent_path() / FTankFile).string();
        const auto problem = StartPlayedTanks(path, FTankFileLine, played, FGauge);
        if (!problem) return std::nullopt;
        return name + ":" + std::to_string(problem->Line) + ": " + problem->What;
    }

private:
    std::optional<std::string> Section(const std::string& line) {
        const auto close = line.find(']');
        if (close == std::string::npos) return "a section header without its ]: '" + Shown(line) + "'";
        if (close + 1 != line.size()) return "text after the section header: '" + Shown(line) + "'";
        std::istringstream words(line.substr(1, close - 1));
        std::string kind, number, more;
        words >> kind >> number >> more;
        FTank = 0;
        FKeys.clear();
        FInFaults = kind == "faults" && number.empty();
        FInStation = kind == "station" && number.empty();
        if (FInFaults) return Once("[faults]");
        if (FInStation) return Once("[station]");
        if (kind != "tank" || number.empty() || !more.empty())
            return "unknown section " + Shown(line) + " (sections are [station], [tank N] and [faults])";
        if (number.find_first_not_of("0123456789") != std::string::npos)
            return "tank number '" + Shown(number) + "' is not a number";
        FTank = ParseWholeNumber(number, 1, kTankCount).value_or(0);
        if (FTank == 0) return "no tank " + Shown(number) + " (tanks are 1 to " + std::to_string(kTankCount) + ")";
        FSection = line;
        return Once("[tank " + std::to_string(FTank) + "]");
    }

    // Sections are not merged: a second one is a mistake of editing.
    std::optional<std::string> Once(const std::string& section) {
        const auto first = FSections.emplace(section, FLine);
        if (first.second) return std::nullopt;
        return "a second " + section + " (the first is on line " + std::to_string(first.first->second) + ")";
    }

    std::optional<std::string> Faults(const std::string& key, const std::string& value) {
        if (key != "next") return "unknown key '" + Shown(key) + "' in [faults] (it takes next)";
        const auto colon = value.find(':');
        const std::string kind = value.substr(0, colon);
        const auto fault = ParseFault(kind);
        if (!fault) return "next: unknown fault '" + Shown(kind) + "' (one of " + FaultNames() + ")";
        const std::string count = colon == std::string::npos ? "1" : value.substr(colon + 1);
        const auto counted = ParseWholeNumber(count, 1, kMostRequests);
        if (!counted) return "next = KIND:COUNT: '" + Shown(count) + "' is not a count from 1";
        FGauge.AddFaultNext(*fault, *counted);
        return std::nullopt;
    }

    std::optional<std::string> StationValue(const std::string& key, const std::string& value) {
        if (key != "tanks") return "unknown key '" + Shown(key) + "' in [station] (it takes tanks)";
        if (FTankFileLine != 0) return "tanks again in [station] (first on line " + std::to_string(FTankFileLine) + ")";
        if (value.empty()) return "tanks = FILE: no file named";
        FTankFile = value;
        FTankFileLine = FLine;
        return std::nullopt;
    }

    static bool MovesByVolume(const std::string& key) {
        return key == "volume-drift" || key == "temperature-drift" || key == "delivery";
    }

    // A level that drifts by itself and one that follows the volume cannot
    // both be served.
    std::optional<std::string> Clash(const std::string& key) const {
        for (const auto& [other, line] : FKeys)
            if ((key == "drift" && MovesByVolume(other)) || (MovesByVolume(key) && other == "drift"))
                return Shown(key) + ": the level cannot both follow the volume and drift by itself (" + other +
                       " on line " + std::to_string(line) + "): give one or the other";
        return std::nullopt;
    }

    std::optional<std::string> MotionValue(const std::string& key, const std::string& value) {
        TPlayedTank& played = FPlayed[FTank];
        if (played.Line == 0) played = TPlayedTank{FTank, FLine, key, {}};
        if (key == "delivery") {
            auto delivery = ParseDelivery(value);
            if (const auto* problem = std::get_if<std::string>(&delivery)) return *problem;
            played.Motion.Delivery = std::get<TPlayedDelivery>(delivery);
            return std::nullopt;
        }
        double& field = key == "volume-drift" ? played.Motion.LitresPerHour : played.Motion.DegreesPerHour;
        return ParseNumber(key, value, field);
    }

    std::optional<std::string> TankValue(const std::string& key, const std::string& value) {
        TTank& tank = FGauge.Tank(FTank);
        if (MovesByVolume(key)) return MotionValue(key, value);
        if (key == "product") {
            tank.Product = value;
        } else if (key == "fault") {
            const auto fault = ParseFault(value);
            if (!fault) return "fault: unknown fault '" + Shown(value) + "' (one of " + FaultNames() + ")";
            tank.Fault = *fault;
        } else if (key == "script") {
            const auto faults = ParseFaultList(value);
            if (!faults) return "script = KIND, KIND, ...: '" + Shown(value) + "' (each one of " + FaultNames() + ")";
            FGauge.SetScript(FTank, *faults);
        } else {
            double* field = key == "level"         ? &tank.Level
                            : key == "drift"       ? &tank.LevelDrift
                            : key == kSecondValueKey || key == kOldSecondValueKey ? &tank.SecondValue
                            : key == "temperature" ? &tank.Temperature
                            : key == "density"     ? &tank.Density
                                                   : nullptr;
            if (field == nullptr) return "unknown key '" + Shown(key) + "' in " + FSection;
            double number = 0;
            if (auto problem = ParseNumber(key, value, number)) return problem;
            if (auto problem = Unsendable(key, value, number)) return problem;
            *field = number;
        }
        return std::nullopt;
    }

    // A value the answer's columns cannot hold would be served as another.
    static std::optional<std::string> Unsendable(const std::string& key, const std::string& value, double number) {
        const std::pair<const char*, TAnswerColumns> fields[] = {{"level", kLevelColumns},
                                                                 {kSecondValueKey, kSecondValueColumns},
                                                                 {kOldSecondValueKey, kSecondValueColumns},
                                                                 {"temperature", kTemperatureColumns},
                                                                 {"density", kDensityColumns}};
        for (const auto& [name, columns] : fields) {
            std::string range;
            if (key == name && !InColumns(number, columns, &range))
                return Shown(key) + ": '" + Shown(value) + "' does not fit the answer's " + std::to_string(columns.Width) +
                       " columns (" + range + ")";
        }
        return std::nullopt;
    }

    TGauge& FGauge;
    int FLine = 0;
    std::map<std::string, int> FSections, FKeys;  // each with the line it is on
    int FTank = 0;  // the section's tank; 0 outside a [tank N]
    bool FInFaults = false;
    bool FInStation = false;
    std::string FSection;
    std::string FTankFile;  // as [station] tanks names it
    int FTankFileLine = 0;
    std::map<int, TPlayedTank> FPlayed;  // by tank
};

}  // namespace

std::optional<std::string> ApplyStationConfig(const std::string& text, const std::string& name, TGauge& gauge) {
    std::istringstream in(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(3) : text);
    TReader reader(gauge);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line.substr(0, line.find_first_of(";#")));
        if (line.empty()) continue;
        if (const auto problem = reader.Take(line, number)) return name + ":" + std::to_string(number) + ": " + *problem;
    }
    return reader.Finish(name);
}

std::optional<std::string> LoadStationConfig(const std::string& path, TGauge& gauge) {
    std::string text;
    if (auto problem = tools::ReadInputFile(path, kLargestStationFile, text)) return problem;
    return ApplyStationConfig(text, path, gauge);
}

}  // namespace qmx::sim
