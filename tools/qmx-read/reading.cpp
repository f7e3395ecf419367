#include "reading.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "protocol/answer_doubts.h"
#include "serial/serial_errors.h"
#include "inventory_columns.h"
#include "json_string.h"
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

std::string Joined(const std::vector<std::string>& texts, const char* separator) {
    std::string joined;
    for (const auto& text : texts) joined += (joined.empty() ? "" : separator) + text;
    return joined;
}

std::string LinkText(const TTankReading& reading) {
    if (!reading.Error.empty()) return "error: " + reading.Error;
    if (!reading.Valid) return reading.Attempts == 0 ? "no valid answer" : "no valid answer: " + ReasonText(reading);
    return reading.Doubts == 0 ? "valid" : "valid, doubtful: " + Joined(DoubtTexts(reading.Doubts), "; ");
}

// What the port recorded of the tank's exchanges: the doubts about the
// answers it accepted, and why the last exchange that failed failed.
void NoteExchanges(TRecordingPort* recorder, TTankReading& reading) {
    if (recorder == nullptr) return;
    for (const auto& exchange : recorder->TakeExchanges()) NoteExchange(exchange, reading, false);
}

// A valid reading's inventory with values missing says why in the link's
// column; an invalid one's reason is the reading's own.
std::string InventoryNote(const TTankReading& reading, const TInventory* inventory) {
    if (inventory == nullptr || inventory->Reason.empty() || !reading.Valid || reading.Doubts != 0) return "";
    return "; " + inventory->Reason;
}

}  // namespace

std::string JsonFields(const TTankReading& r, const TInventory* inventory) {
    std::vector<std::string> doubts;
    for (const auto& doubt : DoubtTexts(r.Doubts)) doubts.push_back(JsonString(doubt));
    std::string fields = "\"tank\": " + std::to_string(r.Tank) + ", \"level\": " + JsonNumber(r.Level, 2) +
                         ", \"temperature\": " + JsonNumber(r.Temperature, 1) + ", \"second\": " +
                         JsonNumber(r.SecondValue, 0) + ", \"density\": " + JsonNumber(r.Density, 8) +
                         (inventory != nullptr ? InventoryJsonFields(*inventory) : "") + ", \"link\": " + std::to_string(r.LinkState) + ", \"valid\": " +
                         (r.Valid ? "true" : "false") + ", \"doubts\": [" + Joined(doubts, ", ") + "]";
    if (!r.Valid && r.Attempts != 0) {
        fields += ", \"reason\": " + JsonString(VerdictText(r.Reason));
        if (!r.ReasonDetail.empty()) fields += ", \"reason_detail\": " + JsonString(r.ReasonDetail);
        fields += ", \"attempts\": " + std::to_string(r.Attempts);
    }
    if (!r.Error.empty()) fields += ", \"error\": " + JsonString(r.Error);
    return fields;
}

void ConcludeValid(TTankReading& r) {
    r.Valid = r.Level && r.Temperature && r.SecondValue && r.Density && r.Error.empty();
}

TTankReading ReadTank(TSilo& silo, int tank, TRecordingPort* recorder) {
    TTankReading reading;
    reading.Tank = tank;
    const auto index = static_cast<std::uint8_t>(tank - 1);
    if (recorder != nullptr) recorder->TakeExchanges();  // another tank's
    try {
        const double level = silo.GetLevel(index);
        if (silo.GetState() == kLinkValid) reading.Level = level;
        // A tank that gave no valid level would cost three more failed
        // transactions of three seconds each; its other values are left
        // unread.
        if (!reading.Level) {
            reading.LinkState = silo.GetState();
            NoteExchanges(recorder, reading);
            ConcludeValid(reading);
            return reading;
        }
        double record[4] = {};
        silo.GetTemperatures(index, record);
        if (silo.GetState() == kLinkValid) reading.Temperature = record[0];
        const std::uint8_t aux = silo.GetAuxValue(index);
        if (silo.GetState() == kLinkValid) reading.SecondValue = aux;
        const double density = silo.GetDensity(index);
        if (silo.GetState() == kLinkValid) reading.Density = density;
    } catch (const ESerialIO& error) {
        reading.Error = Cp1251ToUtf8(error.what());
    }
    reading.LinkState = silo.GetState();
    NoteExchanges(recorder, reading);
    ConcludeValid(reading);
    return reading;
}

std::string TableHeader(bool timed, bool inventory) {
    return std::string(timed ? "Time (UTC)                " : "") + "Tank       Level  Temperature  Second     Density  " +
           (inventory ? InventoryTableHeader() : "") + "Link\n";
}

std::string TableRow(const TTankReading& r, const TInventory* inventory) {
    char line[128];
    std::snprintf(line, sizeof line, "%4d  %10s  %11s  %6s  %10s  ", r.Tank, Number(r.Level, 2).c_str(),
                  Number(r.Temperature, 1).c_str(), Number(r.SecondValue, 0).c_str(), Number(r.Density, 8).c_str());
    return (r.Time.empty() ? "" : r.Time + "  ") + line +
           (inventory != nullptr ? InventoryTableCells(*inventory) : "") + LinkText(r) +
           InventoryNote(r, inventory) + "\n";
}

std::string JsonStart() { return "[\n"; }

std::string JsonRow(const TTankReading& r, const TInventory* inventory) {
    return "  {" + JsonFields(r, inventory) + "}";
}

std::string JsonLine(const TTankReading& r, const TInventory* inventory) {
    return "{\"time\": " + JsonString(r.Time) + ", " + JsonFields(r, inventory) + "}\n";
}

std::string JsonSeparator() { return ",\n"; }

std::string JsonEnd(bool anyRows) { return anyRows ? "\n]\n" : "]\n"; }

std::string CsvHeader(bool timed, bool inventory) {
    return std::string(timed ? "time," : "") + "tank,level,temperature,second,density" +
           (inventory ? InventoryCsvHeader() : "") + ",link,valid,doubts,reason,attempts" +
           (inventory ? ",inventory_reason" : "") + "\n";
}

// With an inventory the texts are quoted where they need it: rows written
// so are read back (--from-rows), and a reason may hold a comma.
std::string CsvRow(const TTankReading& r, const TInventory* inventory) {
    const auto field = [](const std::optional<double>& value, int decimals) {
        return value ? Number(value, decimals) : std::string();
    };
    const bool failed = !r.Valid && r.Attempts != 0;
    std::string reason = failed ? VerdictText(r.Reason) : "";
    if (failed && !r.ReasonDetail.empty()) reason += ": " + r.ReasonDetail;
    const auto text = [inventory](const std::string& value) { return inventory ? CsvField(value) : value; };
    return (r.Time.empty() ? "" : r.Time + ",") + std::to_string(r.Tank) + "," + field(r.Level, 2) + "," +
           field(r.Temperature, 1) + "," + field(r.SecondValue, 0) + "," + field(r.Density, 8) +
           (inventory ? InventoryCsvFields(*inventory) : "") + "," + std::to_string(r.LinkState) + "," +
           (r.Valid ? "1" : "0") + "," + text(Joined(DoubtTexts(r.Doubts), "; ")) + "," + text(reason) + "," +
           (failed ? std::to_string(r.Attempts) : "") + (inventory ? "," + CsvField(inventory->Reason) : "") + "\n";
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
