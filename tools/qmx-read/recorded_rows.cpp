#include "recorded_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "platform/decimal_number.h"
#include "platform/shown_text.h"
#include "platform/whole_number.h"
#include "protocol/answer_doubts.h"

namespace qmx::tools {
namespace {

// The columns a row needs: its time, its tank, and what the inventory and
// its validity are read from.
constexpr const char* kNeeded[] = {"time", "tank", "level", "temperature", "second", "density", "link", "valid",
                                   "doubts", "reason"};
constexpr std::size_t kNotThere = static_cast<std::size_t>(-1);

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil): no time zone database is asked.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

std::optional<double> OptionalNumber(const std::string& text, bool& wrong) {
    if (text.empty()) return std::nullopt;
    const auto number = ParseDecimalNumber(text);
    wrong = wrong || !number || !std::isfinite(*number);
    return number;
}

// The doubts' bits from their texts, "; " between them; false for a text
// the reader does not write.
bool TakeDoubts(const std::string& text, unsigned& doubts) {
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find("; ", from), text.size());
        const std::string one = text.substr(from, end - from);
        unsigned bit = 1;
        while (bit != 0 && (DoubtTexts(bit).empty() || DoubtTexts(bit).front() != one)) bit <<= 1;
        if (bit == 0) return false;
        doubts |= bit;
        from = end + 2;
    }
    return true;
}

}  // namespace

std::optional<double> ParseUtcStamp(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour, &minute, &second,
                    &milli, &used) != 7 ||
        static_cast<std::size_t>(used) != text.size() || text.size() != 24)
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second) + milli / 1000.0;
}

std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"' && (quoted || fields.back().empty())) {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::size_t TRecordedRows::Column(const char* name) const {
    const auto found = std::find(FColumns.begin(), FColumns.end(), name);
    return found == FColumns.end() ? kNotThere : static_cast<std::size_t>(found - FColumns.begin());
}

bool TRecordedRows::ReadHeader(std::string& problem) {
    std::string line;
    if (!std::getline(FIn, line)) {
        problem = FName + ": no rows (not even a header)";
        return false;
    }
    ++FLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    FColumns = CsvFields(line);
    for (const char* needed : kNeeded)
        if (Column(needed) == kNotThere) {
            problem = FName + ":1: no '" + needed + "' column: rows of qmx-read --watch --csv have one";
            return false;
        }
    return true;
}

bool TRecordedRows::Next(TRecordedRow& row, std::string& problem) {
    problem.clear();
    if (FColumns.empty() && !ReadHeader(problem)) return false;
    std::string line;
    while (std::getline(FIn, line)) {
        ++FLine;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields = CsvFields(line);
        // Rows written without a tank file left a reason's commas unquoted:
        // what is over belongs to the reason.
        const std::size_t reason = Column("reason");
        while (fields.size() > FColumns.size()) {
            fields[reason] += "," + fields[reason + 1];
            fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(reason) + 1);
        }
        if (auto wrong = Take(fields, row)) {
            problem = FName + ":" + std::to_string(FLine) + ": " + *wrong;
            return false;
        }
        return true;
    }
    if (FIn.bad()) problem = "cannot read " + FName;
    return false;
}

std::optional<std::string> TRecordedRows::Take(const std::vector<std::string>& fields, TRecordedRow& row) const {
    if (fields.size() != FColumns.size())
        return std::to_string(fields.size()) + " fields where the header has " + std::to_string(FColumns.size());
    const auto field = [&](const char* name) -> const std::string& { return fields[Column(name)]; };
    const auto time = ParseUtcStamp(field("time"));
    if (!time) return "'" + Shown(field("time")) + "' is no time as the reader writes one";
    const auto tank = ParseWholeNumber(field("tank"), 1, kGaugeTanks);
    if (!tank) return "no tank '" + Shown(field("tank")) + "'";
    TTankReading reading;
    reading.Tank = *tank;
    reading.Time = field("time");
    bool wrong = false;
    reading.Level = OptionalNumber(field("level"), wrong);
    reading.Temperature = OptionalNumber(field("temperature"), wrong);
    reading.SecondValue = OptionalNumber(field("second"), wrong);
    reading.Density = OptionalNumber(field("density"), wrong);
    if (wrong) return "a value that is no number";
    reading.LinkState = static_cast<std::uint8_t>(ParseWholeNumber(field("link"), 0, 255).value_or(0));
    if (field("valid") != "0" && field("valid") != "1") return "valid is '" + Shown(field("valid")) + "', not 1 or 0";
    reading.Valid = field("valid") == "1";
    if (!TakeDoubts(field("doubts"), reading.Doubts))
        return "a doubt the reader does not write: '" + Shown(field("doubts")) + "'";
    row = {*time, reading};
    return std::nullopt;
}

}  // namespace qmx::tools
