#include "reading.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "protocol/answer_doubts.h"
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

std::optional<double> AuxOf(const TTankReading& reading) {
    return reading.AuxValue ? std::optional<double>(*reading.AuxValue) : std::nullopt;
}

std::string Joined(const std::vector<std::string>& texts, const char* separator) {
    std::string joined;
    for (const auto& text : texts) joined += (joined.empty() ? "" : separator) + text;
    return joined;
}

std::string LinkText(const TTankReading& reading) {
    if (!reading.Error.empty()) return "error: " + reading.Error;
    if (!reading.Valid()) return "no valid answer";
    return reading.Doubts.empty() ? "valid" : "valid, doubtful: " + Joined(reading.Doubts, "; ");
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The doubts about the answers the port accepted since the last look.
void NoteDoubts(TRecordingPort* recorder, TTankReading& reading) {
    if (recorder == nullptr) return;
    for (const auto& accepted : recorder->TakeAccepted())
        for (auto& text : DoubtTexts(AnswerDoubts(accepted.Query, accepted.Tank, accepted.Bytes.data(),
                                                  accepted.Bytes.size())))
            if (std::find(reading.Doubts.begin(), reading.Doubts.end(), text) == reading.Doubts.end())
                reading.Doubts.push_back(text);
}

}  // namespace

std::vector<std::string> DoubtTexts(unsigned doubts) {
    struct TText {
        unsigned Doubt;
        const char* Text;
    };
    constexpr TText kTexts[] = {
        {kNamesOtherQuery, "answer names another query"},
        {kNamesOtherTank, "answer names another tank"},
        {kLevelNotNumber, "level not a number"},
        {kSecondValueNotNumber, "second value not a number"},
        {kTemperatureNotNumber, "temperature not a number"},
        {kDensityNotNumber, "density not a number"},
    };
    std::vector<std::string> texts;
    for (const auto& entry : kTexts)
        if ((doubts & entry.Doubt) != 0) texts.emplace_back(entry.Text);
    return texts;
}

TTankReading ReadTank(TSilo& silo, int tank, TRecordingPort* recorder) {
    TTankReading reading;
    reading.Tank = tank;
    const auto index = static_cast<std::uint8_t>(tank - 1);
    if (recorder != nullptr) recorder->TakeAccepted();  // another tank's
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
    NoteDoubts(recorder, reading);
    return reading;
}

std::string TableHeader() { return "Tank       Level  Temperature  Second     Density  Link\n"; }

std::string TableRow(const TTankReading& r) {
    char line[128];
    std::snprintf(line, sizeof line, "%4d  %10s  %11s  %6s  %10s  ", r.Tank, Number(r.Level, 2).c_str(),
                  Number(r.Temperature, 1).c_str(), Number(AuxOf(r), 0).c_str(), Number(r.Density, 8).c_str());
    return line + LinkText(r) + "\n";
}

std::string JsonStart() { return "[\n"; }

std::string JsonRow(const TTankReading& r) {
    std::vector<std::string> doubts;
    for (const auto& doubt : r.Doubts) doubts.push_back(JsonString(doubt));
    return "  {\"tank\": " + std::to_string(r.Tank) + ", \"level\": " + JsonNumber(r.Level, 2) +
           ", \"temperature\": " + JsonNumber(r.Temperature, 1) + ", \"second\": " + JsonNumber(AuxOf(r), 0) +
           ", \"density\": " + JsonNumber(r.Density, 8) + ", \"link\": " + std::to_string(r.LinkState) +
           ", \"valid\": " + (r.Valid() ? "true" : "false") + ", \"doubts\": [" + Joined(doubts, ", ") + "]" +
           (r.Error.empty() ? "" : ", \"error\": " + JsonString(r.Error)) + "}";
}

std::string JsonSeparator() { return ",\n"; }

std::string JsonEnd(bool anyRows) { return anyRows ? "\n]\n" : "]\n"; }

std::string CsvHeader() { return "tank,level,temperature,second,density,link,valid,doubts\n"; }

std::string CsvRow(const TTankReading& r) {
    const auto field = [](const std::optional<double>& value, int decimals) {
        return value ? Number(value, decimals) : std::string();
    };
    return std::to_string(r.Tank) + "," + field(r.Level, 2) + "," + field(r.Temperature, 1) + "," +
           field(AuxOf(r), 0) + "," + field(r.Density, 8) + "," + std::to_string(r.LinkState) + "," +
           (r.Valid() ? "1" : "0") + "," + Joined(r.Doubts, "; ") + "\n";
}

std::string FormatTable(const std::vector<TTankReading>& readings) {
    std::string table = TableHeader();
    for (const auto& reading : readings) table += TableRow(reading);
    return table;
}

std::string FormatJson(const std::vector<TTankReading>& readings) {
    std::string json = JsonStart();
    for (std::size_t i = 0; i < readings.size(); ++i) json += (i == 0 ? "" : JsonSeparator()) + JsonRow(readings[i]);
    return json + JsonEnd(!readings.empty());
}

std::string FormatCsv(const std::vector<TTankReading>& readings) {
    std::string csv = CsvHeader();
    for (const auto& reading : readings) csv += CsvRow(reading);
    return csv;
}

}  // namespace qmx::tools
