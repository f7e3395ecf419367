// The reader's rows with a tank file's columns, and those rows read back.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "protocol/answer_doubts.h"
#include "reading.h"
#include "recorded_rows.h"

namespace qmx::tools {
namespace {

TTankReading Reading(int tank, bool valid, unsigned doubts, const std::string& detail) {
    TTankReading reading;
    reading.Tank = tank;
    reading.Time = "2026-12-10T06:55:07.120Z";
    reading.Level = 1234.5;
    reading.Temperature = valid ? std::optional<double>(14.5) : std::nullopt;
    reading.Valid = valid;
    reading.Doubts = doubts;
    if (!valid) {
        reading.Reason = TAttemptVerdict::NoStx;
        reading.ReasonDetail = detail;
        reading.Attempts = 3;
    }
    return reading;
}

TEST(RecordedRows, WhatTheReaderWritesItReadsBack) {
    TInventory inventory;
    inventory.GrossLitres = 12345.67;
    inventory.Fill = 0.5;
    inventory.Reason = "no density, \"none\" given";
    const TTankReading rows[] = {
        Reading(1, true, 0, ""),
        Reading(2, true, kNamesOtherTank | kLevelNotNumber, ""),
        Reading(3, false, 0, "31 bytes, then silence"),
    };
    for (const bool withInventory : {true, false}) {
        std::string csv = CsvHeader(true, withInventory);
        for (const auto& row : rows) csv += CsvRow(row, withInventory ? &inventory : nullptr);
        std::istringstream in(csv);
        TRecordedRows recorded(in, "rows.csv");
        TRecordedRow row;
        std::string problem;
        for (const auto& written : rows) {
            ASSERT_TRUE(recorded.Next(row, problem)) << problem << "\n" << csv;
            EXPECT_EQ(row.Time, 1796885707.12);
            EXPECT_EQ(row.Reading.Tank, written.Tank);
            EXPECT_EQ(row.Reading.Level, written.Level);
            EXPECT_EQ(row.Reading.Temperature, written.Temperature);
            EXPECT_EQ(row.Reading.Valid, written.Valid);
            EXPECT_EQ(row.Reading.Doubts, written.Doubts) << csv;
        }
        EXPECT_FALSE(recorded.Next(row, problem));
        EXPECT_EQ(problem, "");
    }
    EXPECT_NE(CsvRow(rows[2], &inventory).find(",\"no STX: 31 bytes, then silence\",3,"), std::string::npos);
    EXPECT_NE(JsonRow(rows[0], &inventory).find("\"volume_l\": 12345.7, \"volume15_l\": null"), std::string::npos);
    EXPECT_NE(TableRow(rows[0], &inventory).find("   12345.7           -"), std::string::npos);
}

TEST(RecordedRows, WhatIsNoRowOfTheReadersIsRefusedWithItsLine) {
    const std::string header = "time,tank,level,temperature,second,density,link,valid,doubts,reason,attempts\n";
    const std::string stamp = "2026-12-10T06:55:07.120Z";
    const std::pair<std::string, std::string> cases[] = {
        {"", "rows.csv: no rows (not even a header)"},
        {"tank,level\n", "rows.csv:1: no 'time' column: rows of qmx-read --watch --csv have one"},
        {header + stamp + ",1,1.0,2.0,3,0.8,0,1,,\n", "rows.csv:2: 10 fields where the header has 11"},
        {header + "2026-12-10 06:55:07,1,1,2,3,0.8,0,1,,,\n",
         "rows.csv:2: '2026-12-10 06:55:07' is no time as the reader writes one"},
        {header + stamp + ",34,1,2,3,0.8,0,1,,,\n", "rows.csv:2: no tank '34'"},
        {header + stamp + ",1,1x,2,3,0.8,0,1,,,\n", "rows.csv:2: a value that is no number"},
        {header + stamp + ",1,1,2,3,0.8,0,yes,,,\n", "rows.csv:2: valid is 'yes', not 1 or 0"},
        {header + stamp + ",1,1,2,3,0.8,0,1,tank on fire,,\n",
         "rows.csv:2: a doubt the reader does not write: 'tank on fire'"},
    };
    for (const auto& [text, expected] : cases) {
        std::istringstream in(text);
        TRecordedRows rows(in, "rows.csv");
        TRecordedRow row;
        std::string problem;
        EXPECT_FALSE(rows.Next(row, problem)) << text;
        EXPECT_EQ(problem, expected) << text;
    }
}

TEST(RecordedRows, TimesAsTheRowsWriteThem) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"1970-01-01T00:00:00.000Z", 0.0},
        {"2024-02-29T12:00:00.000Z", 1709208000.0},
        {"2026-12-10T06:55:07.120Z", 1796885707.12},
        {"2026-13-10T06:55:07.120Z", std::nullopt},
        {"2026-12-10T06:55:07Z", std::nullopt},
        {"2026-12-10T06:55:07.120", std::nullopt},
        {"2026-12-10T06:55:07.120Z ", std::nullopt},
    };
    for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseUtcStamp(text), seconds) << text;
}

}  // namespace
}  // namespace qmx::tools
