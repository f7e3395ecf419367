#include "monitor_rows.h"

#include <cstdio>

#include "protocol/field_reader.h"
#include "serial/link_state.h"

namespace qmx::tools {
namespace {

// The exchange as the reader's port would have recorded it: its attempts,
// the last with the bytes it got.
TRecordedExchange Recorded(const TOverheardExchange& exchange) {
    TRecordedExchange recorded;
    recorded.Query = exchange.Query;
    recorded.Tank = exchange.Tank;
    recorded.ExpectedLength = AnswerLength(exchange.Query);
    recorded.Attempts.resize(static_cast<std::size_t>(exchange.Attempts));
    auto& last = recorded.Attempts.back();
    last.Bytes = exchange.Answer;
    last.BytesBeforeStx = exchange.BytesBeforeStx;
    last.Accepted = exchange.Accepted;
    last.OtherAnswers = exchange.OtherAnswers;
    last.OtherRequest = exchange.OtherRequest;
    return recorded;
}

// The values as the silo's measurement operations give them.
void NoteValues(const TOverheardExchange& exchange, TTankReading& reading) {
    if (exchange.Judged.Verdict != TAttemptVerdict::Valid) return;
    if (exchange.Query == TQuery::Density) {
        reading.Density = DecodeDensityAnswer(exchange.Answer.data());
        return;
    }
    const TLevelValues values = DecodeLevelAnswer(exchange.Answer.data());
    reading.Level = values.Level;
    if (values.Temperature > -100.0) reading.Temperature = values.Temperature;
    if (values.AuxValue > -1.0) reading.AuxValue = RoundToLowByte(values.AuxValue);
}

void Note(const TOverheardExchange& exchange, TMonitorRow& row) {
    NoteExchange(Recorded(exchange), row.Reading);
    NoteValues(exchange, row.Reading);
    if (!row.DelaySeconds) row.DelaySeconds = exchange.DelaySeconds;
    row.InTime = row.InTime && !exchange.Late;
    row.Requests += exchange.Attempts;
    row.Reading.LinkState = row.Reading.Valid() ? kLinkValid : kLinkInvalid;
}

TMonitorRow Begun(const TOverheardExchange& exchange) {
    TMonitorRow row;
    row.Reading.Tank = exchange.Tank + 1;
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
    if (exchange.Query == TQuery::Density && FAwaitingDensity && FAwaitingDensity->Reading.Tank == exchange.Tank + 1) {
        Note(exchange, *FAwaitingDensity);
        rows.push_back(*FAwaitingDensity);
        FAwaitingDensity.reset();
        return rows;
    }
    rows = Flush();
    TMonitorRow row = Begun(exchange);
    // A tank without a valid level is not asked its density.
    if (exchange.Query == TQuery::Level && row.Reading.Level) FAwaitingDensity = row;
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
