#include "inventory/tank_sections.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "platform/shown_text.h"
#include "platform/whole_number.h"
#include "protocol/tank_reading.h"

namespace qmx {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr const char* kKeys[] = {"product", "table",    "capacity", "density", "level-unit",
                                 "shape",   "diameter", "length",   "ends",
                                 "delivery-min", "settle", "quiet", "quiet-step", "leak-threshold"};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<std::string> TakeHeader(const std::string& line, std::vector<TTankSection>& sections, int number) {
    const auto close = line.find(']');
    if (close == std::string::npos) return "a section header without its ]: '" + Shown(line) + "'";
    if (close + 1 != line.size()) return "text after the section header: '" + Shown(line) + "'";
    std::istringstream words(line.substr(1, close - 1));
    std::string kind, tank, more;
    words >> kind >> tank >> more;
    if (kind != "tank" || tank.empty() || !more.empty())
        return "unknown section " + Shown(line) + " (sections are [tank N])";
    const auto parsed = ParseWholeNumber(tank, 1, kGaugeTanks);
    if (!parsed) return "no tank '" + Shown(tank) + "' (tanks are 1 to " + std::to_string(kGaugeTanks) + ")";
    for (const TTankSection& section : sections)
        if (section.Tank == *parsed)
            return "a second [tank " + std::to_string(*parsed) + "] (the first is on line " +
                   std::to_string(section.Line) + ")";
    sections.push_back({*parsed, number, {}});
    return std::nullopt;
}

std::optional<std::string> TakeValue(const std::string& line, std::vector<TTankSection>& sections, int number) {
    const auto equals = line.find('=');
    const std::string key = equals == std::string::npos ? "" : Trim(line.substr(0, equals));
    if (key.empty()) return "not key = value: '" + Shown(line) + "'";
    if (sections.empty()) return Shown(key) + " outside a [tank N] section";
    TTankSection& section = sections.back();
    const std::string name = "[tank " + std::to_string(section.Tank) + "]";
    if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys))
        return "unknown key '" + Shown(key) + "' in " + name;
    // A second value would silently win over the first.
    const auto first = section.Values.emplace(key, TSectionValue{Trim(line.substr(equals + 1)), number});
    if (!first.second)
        return Shown(key) + " again in " + name + " (first on line " + std::to_string(first.first->second.Line) + ")";
    return std::nullopt;
}

}  // namespace

std::optional<TTankFileProblem> ReadTankSections(const std::string& text, std::vector<TTankSection>& sections) {
    std::istringstream in(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(3) : text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line.substr(0, line.find_first_of(";#")));
        if (line.empty()) continue;
        auto problem = line.front() == '[' ? TakeHeader(line, sections, number) : TakeValue(line, sections, number);
        if (problem) return TTankFileProblem{number, *problem};
    }
    if (sections.empty()) return TTankFileProblem{0, "no [tank N] section"};
    return std::nullopt;
}

}  // namespace qmx
