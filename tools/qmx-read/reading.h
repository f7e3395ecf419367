#pragma once

// Reading tanks through a silo as a host does, and showing the result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/silo.h"
#include "inventory/inventory.h"
#include "protocol/tank_reading.h"
#include "recording_port.h"

namespace qmx::tools {

// The four measurement operations for one tank, each judged by GetState.
// With `recorder` (the silo's port), the answers they were read from are
// looked at for doubts.
TTankReading ReadTank(TSilo& silo, int tank, TRecordingPort* recorder = nullptr);

// A reading the reader shows as valid: all four values, and no error.
void ConcludeValid(TTankReading& reading);

// One row each, and the lines that open and close the output. A JSON row
// has no separator of its own: rows after the first are preceded by
// JsonSeparator. Timed rows (`timed`, the reading's Time first) are for
// output that goes on round after round: JSON lines then, one object a line.
// With a tank file (`inventory`), each row has its inventory's columns too.
std::string TableHeader(bool timed = false, bool inventory = false);
std::string TableRow(const TTankReading& reading, const TInventory* inventory = nullptr);
std::string JsonStart();
std::string JsonRow(const TTankReading& reading, const TInventory* inventory = nullptr);
std::string JsonLine(const TTankReading& reading, const TInventory* inventory = nullptr);
std::string JsonSeparator();
std::string JsonEnd(bool anyRows);
std::string CsvHeader(bool timed = false, bool inventory = false);
std::string CsvRow(const TTankReading& reading, const TInventory* inventory = nullptr);
// A JSON row's fields without its braces, for objects that add their own.
std::string JsonFields(const TTankReading& reading, const TInventory* inventory = nullptr);

// Whole outputs.
std::string FormatTable(const std::vector<TTankReading>& readings);
std::string FormatJson(const std::vector<TTankReading>& readings);
std::string FormatCsv(const std::vector<TTankReading>& readings);

}  // namespace qmx::tools
