#pragma once

// The reader's own CSV rows read back (--watch --csv, with or without a
// tank file's columns), a row at a time, so that months of them are read
// in little memory. The columns are found by the header's names: rows
// written before the tank file's columns existed read the same.

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "protocol/tank_reading.h"

namespace qmx::tools {

struct TRecordedRow {
    double Time = 0;  // seconds since 1970, UTC
    TTankReading Reading;
};

class TRecordedRows {
public:
    // `name` is what messages call the input.
    TRecordedRows(std::istream& in, std::string name) : FIn(in), FName(std::move(name)) {}

    // The next row into `row`: true; false at the end, or with `problem`
    // ("rows.csv:12: ...") when a line is not a row of the reader's.
    bool Next(TRecordedRow& row, std::string& problem);

private:
    bool ReadHeader(std::string& problem);
    std::optional<std::string> Take(const std::vector<std::string>& fields, TRecordedRow& row) const;
    std::size_t Column(const char* name) const;

    std::istream& FIn;
    const std::string FName;
    std::vector<std::string> FColumns;
    std::size_t FLine = 0;
};

// "2026-12-08T09:14:03.120Z", as the rows write a time, in seconds since
// 1970; nothing for any other text.
std::optional<double> ParseUtcStamp(const std::string& text);

// A CSV line's fields, RFC 4180's quotes undone.
std::vector<std::string> CsvFields(const std::string& line);

}  // namespace qmx::tools
