#pragma once

// Reading tanks through a silo as a host does, and showing the result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/silo.h"
#include "protocol/attempt_verdict.h"
#include "recording_port.h"

namespace qmx::tools {

struct TTankReading {
    int Tank = 0;  // 1 to 33, as on the gauge
    std::optional<double> Level;
    std::optional<double> Temperature;
    std::optional<int> AuxValue;
    std::optional<double> Density;
    std::uint8_t LinkState = 0;  // after the last operation
    std::string Error;           // a request error the silo raised
    // Why values the driver reported valid are in doubt ("level not a number").
    std::vector<std::string> Doubts;
    // Why the exchange that failed the tank failed: the verdict of its last
    // attempt (Valid when no exchange failed, or when nothing was recorded),
    // and how many attempts it made.
    TAttemptVerdict Reason = TAttemptVerdict::Valid;
    std::string ReasonDetail;  // which value, for InvalidValue
    int Attempts = 0;
    int FailedAttempts = 0;  // over all the tank's exchanges
    std::string Time;  // UTC, when the rows carry a time stamp
    bool Valid() const { return Level && Temperature && AuxValue && Density && Error.empty(); }
};

// The four measurement operations for one tank, each judged by GetState.
// With `recorder` (the silo's port), the answers they were read from are
// looked at for doubts.
TTankReading ReadTank(TSilo& silo, int tank, TRecordingPort* recorder = nullptr);

// What one exchange adds to the tank's reading: the doubts about the
// answer the port accepted, and why it failed (its last attempt's verdict).
void NoteExchange(const TRecordedExchange& exchange, TTankReading& reading);

// Why a failed tank failed, for people: "check byte, 3 attempts".
std::string ReasonText(const TTankReading& reading);

// One row each, and the lines that open and close the output. A JSON row
// has no separator of its own: rows after the first are preceded by
// JsonSeparator. Timed rows (`timed`, the reading's Time first) are for
// output that goes on round after round: JSON lines then, one object a line.
std::string TableHeader(bool timed = false);
std::string TableRow(const TTankReading& reading);
std::string JsonStart();
std::string JsonRow(const TTankReading& reading);
std::string JsonLine(const TTankReading& reading);
std::string JsonSeparator();
std::string JsonEnd(bool anyRows);
std::string CsvHeader(bool timed = false);
std::string CsvRow(const TTankReading& reading);

// Whole outputs.
std::string FormatTable(const std::vector<TTankReading>& readings);
std::string FormatJson(const std::vector<TTankReading>& readings);
std::string FormatCsv(const std::vector<TTankReading>& readings);

}  // namespace qmx::tools
