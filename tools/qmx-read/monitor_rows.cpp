#include "monitor_rows.h"

#include <cstdio>

#include "serial/link_state.h"

namespace qmx::tools {
namespace {

void Note(const TOverheardExchange& exchange, TMonitorRow& row) {
    NoteExchange(exchange.Record, row.Reading, true);
    ConcludeValid(row.Reading);
    if (!row.DelaySeconds) row.DelaySeconds = exchange.DelaySeconds;
    row.InTime = row.InTime && !exchange.Late;
    row.Requests += static_cast<int>(exchange.Record.Attempts.size());
    row.Reading.LinkState = row.Reading.Valid ? kLinkValid : kLinkInvalid;
}

TMonitorRow Begun(const TOverheardExchange& exchange) {
    TMonitorRow row;
    row.Reading.Tank = exchange.Record.Tank + 1;
    Note(exchange, row);
    return row;
}

std::string WithoutLineEnd(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string DelayMs(const TMonitorRow& row) {
    return row.DelaySeconds ? std::to_string(static_cast<long>(*row.DelaySeconds * 1000.0 + 0.5)) : std::string();
}

}  // namespace

std::vector<TMonitorRow> TMonitorRows::Take(const TOverheardExchange& exchange) {
    std::vector<TMonitorRow> rows;
    const TExchangeRecord& record = exchange.Record;
    if (record.Query == TQuery::Density && FAwaitingDensity && FAwaitingDensity->Reading.Tank == record.Tank + 1) {
        Note(exchange, *FAwaitingDensity);
        rows.push_back(*FAwaitingDensity);
        FAwaitingDensity.reset();
        return rows;
    }
    rows = Flush();
    TMonitorRow row = Begun(exchange);
    // A tank without a valid level is not asked its density.
    if (record.Query == TQuery::Level && row.Reading.Level) FAwaitingDensity = row;
    else rows.push_back(row);
    return rows;
}

std::vector<TMonitorRow> TMonitorRows::Flush() {
    std::vector<TMonitorRow> rows;
    if (FAwaitingDensity) rows.push_back(*FAwaitingDensity);
    FAwaitingDensity.reset();
    return rows;
}

std::string MonitorNote(const TMonitorRow& row) {
    std::string note = row.DelaySeconds ? "answer after " + DelayMs(row) + " ms" : "no answer";
    if (!row.InTime) note += ", outside the second";
    return note + ", " + std::to_string(row.Requests) + (row.Requests == 1 ? " request" : " requests");
}

std::string MonitorTableHeader() { return WithoutLineEnd(TableHeader(true)) + "  (answer, requests)\n"; }

std::string MonitorTableRow(const TMonitorRow& row) {
    return WithoutLineEnd(TableRow(row.Reading)) + "  (" + MonitorNote(row) + ")\n";
}

std::string MonitorCsvHeader() { return WithoutLineEnd(CsvHeader(true)) + ",delay_ms,in_time,requests\n"; }

std::string MonitorCsvRow(const TMonitorRow& row) {
    return WithoutLineEnd(CsvRow(row.Reading)) + "," + DelayMs(row) + "," +
           (row.DelaySeconds ? row.InTime ? "1" : "0" : "") + "," +
           std::to_string(row.Requests) + "\n";
}

std::string MonitorJsonLine(const TMonitorRow& row) {
    std::string line = WithoutLineEnd(JsonLine(row.Reading));
    line.pop_back();  // its closing brace
    return line + ", \"delay_ms\": " + (row.DelaySeconds ? DelayMs(row) : "null") +
           ", \"in_time\": " + (!row.DelaySeconds ? "null" : row.InTime ? "true" : "false") + ", \"requests\": " + std::to_string(row.Requests) +
           "}\n";
}

}  // namespace qmx::tools
