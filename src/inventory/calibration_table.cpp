#include "inventory/calibration_table.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

#include "inventory/number_text.h"
#include "platform/decimal_number.h"
#include "platform/shown_text.h"

namespace qmx {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<double> Number(const std::string& text) {
    const auto number = ParseDecimalNumber(Trim(text));
    if (!number || !std::isfinite(*number) || *number < 0.0) return std::nullopt;
    return number;
}

// What is wrong with `line` after the rows in `table`; else the row is added.
std::optional<std::string> TakeRow(const std::string& line, TCalibrationTable& table) {
    const auto comma = line.find(',');
    const auto level = comma == std::string::npos ? std::nullopt : Number(line.substr(0, comma));
    const auto litres = comma == std::string::npos ? std::nullopt : Number(line.substr(comma + 1));
    if (!level || !litres) return "not level,litres (two numbers, neither below zero): '" + Shown(line) + "'";
    if (!table.empty() && *level <= table.back().Level)
        return "level " + NumberText(*level) + " does not rise above the row before (" +
               NumberText(table.back().Level) + ")";
    if (!table.empty() && *litres < table.back().Litres)
        return NumberText(*litres) + " litres is less than the row before (" + NumberText(table.back().Litres) + ")";
    table.push_back({*level, *litres});
    return std::nullopt;
}

}  // namespace

std::variant<TCalibrationTable, std::string> ParseCalibrationTable(const std::string& text, const std::string& name) {
    std::istringstream in(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(3) : text);
    TCalibrationTable table;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        if (auto problem = TakeRow(line, table)) return name + ":" + std::to_string(number) + ": " + *problem;
    }
    if (table.size() < 2) return name + ": a calibration table needs two rows at least";
    if (table.back().Litres <= table.front().Litres) return name + ": the table's volumes never rise";
    return table;
}

std::variant<double, std::string> TableVolume(const TCalibrationTable& table, double level) {
    const TCalibrationRow &first = table.front(), &last = table.back();
    if (level < first.Level || level > last.Level)
        return "level " + NumberText(level) + " is off the calibration table (" + NumberText(first.Level) + " to " +
               NumberText(last.Level) + ")";
    const auto above = std::upper_bound(table.begin(), table.end(), level,
                                        [](double wanted, const TCalibrationRow& row) { return wanted < row.Level; });
    if (above == table.end()) return last.Litres;
    const TCalibrationRow& below = *(above - 1);
    return below.Litres + (level - below.Level) * (above->Litres - below.Litres) / (above->Level - below.Level);
}

}  // namespace qmx
