#include "reading.h"

#include <cstdio>
#include <cstdlib>

#include "serial/serial_errors.h"
#include "text.h"

namespace qmx::tools {
namespace {

std::string Number(const std::optional<double>& value, int decimals) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

std::string JsonNumber(const std::optional<double>& value, int decimals) {
    return value ? Number(value, decimals) : "null";
}

std::string LinkText(const TTankReading& reading) {
    if (!reading.Error.empty()) return "error: " + reading.Error;
    if (reading.Valid()) return "valid";
    return "no valid answer";
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

TTankReading ReadTank(TSilo& silo, int tank) {
    TTankReading reading;
    reading.Tank = tank;
    const auto index = static_cast<std::uint8_t>(tank - 1);
    try {
        const double level = silo.GetLevel(index);
        if (silo.GetState() == kLinkValid) reading.Level = level;
        // A tank that gave no valid level would cost three more failed
        // transactions of three seconds each; its other values are left
        // unread.
        if (!reading.Level) {
            reading.LinkState = silo.GetState();
            return reading;
        }
        double record[4] = {};
        silo.GetTemperatures(index, record);
        if (silo.GetState() == kLinkValid) reading.Temperature = record[0];
        const std::uint8_t aux = silo.GetAuxValue(index);
        if (silo.GetState() == kLinkValid) reading.AuxValue = aux;
        const double density = silo.GetDensity(index);
        if (silo.GetState() == kLinkValid) reading.Density = density;
    } catch (const ESerialIO& error) {
        reading.Error = Cp1251ToUtf8(error.what());
    }
    reading.LinkState = silo.GetState();
    return reading;
}

std::string FormatTable(const std::vector<TTankReading>& readings) {
    std::string table = "Tank       Level  Temperature  Second     Density  Link\n";
    for (const auto& r : readings) {
        char line[256];
        const std::optional<double> aux = r.AuxValue ? std::optional<double>(*r.AuxValue) : std::nullopt;
        std::snprintf(line, sizeof line, "%4d  %10s  %11s  %6s  %10s  %s\n", r.Tank,
                      Number(r.Level, 2).c_str(), Number(r.Temperature, 1).c_str(),
                      Number(aux, 0).c_str(), Number(r.Density, 8).c_str(), LinkText(r).c_str());
        table += line;
    }
    return table;
}

std::string FormatJson(const std::vector<TTankReading>& readings) {
    std::string json = "[\n";
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const auto& r = readings[i];
        const std::optional<double> aux = r.AuxValue ? std::optional<double>(*r.AuxValue) : std::nullopt;
        json += "  {\"tank\": " + std::to_string(r.Tank) + ", \"level\": " + JsonNumber(r.Level, 2) +
                ", \"temperature\": " + JsonNumber(r.Temperature, 1) +
                ", \"second\": " + JsonNumber(aux, 0) + ", \"density\": " + JsonNumber(r.Density, 8) +
                ", \"link\": " + std::to_string(r.LinkState) + ", \"valid\": " + (r.Valid() ? "true" : "false") +
                (r.Error.empty() ? "" : ", \"error\": " + JsonString(r.Error)) + "}" +
                (i + 1 < readings.size() ? "," : "") + "\n";
    }
    return json + "]\n";
}

std::string FormatCsv(const std::vector<TTankReading>& readings) {
    std::string csv = "tank,level,temperature,second,density,link,valid\n";
    for (const auto& r : readings) {
        const auto field = [](const std::optional<double>& value, int decimals) {
            return value ? Number(value, decimals) : std::string();
        };
        const std::optional<double> aux = r.AuxValue ? std::optional<double>(*r.AuxValue) : std::nullopt;
        csv += std::to_string(r.Tank) + "," + field(r.Level, 2) + "," + field(r.Temperature, 1) + "," +
               field(aux, 0) + "," + field(r.Density, 8) + "," + std::to_string(r.LinkState) + "," +
               (r.Valid() ? "1" : "0") + "\n";
    }
    return csv;
}

}  // namespace qmx::tools
