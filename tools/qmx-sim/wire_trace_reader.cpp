#include "wire_trace_reader.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "serial/wire_trace.h"
#include "platform/shown_text.h"

namespace qmx::sim {
namespace {

constexpr std::size_t kStampLength = 23;  // 2026-12-08 14:18:39.203
constexpr unsigned char kStx = 0x02;
// STX, letter, two digits, ETX, check byte: all a reader ever sends at once.
constexpr std::size_t kRequestLength = 6;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
long long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct TStamp {
    long long AtMs = 0;
    bool Steady = false;
    std::size_t Length = 0;  // of the stamp's text
    long long SpanMs = 0;
};

struct TSteadyPart {
    long long AtMs = 0, SpanMs = 0;
    std::size_t Length = 0;  // of its text
};

// The digits of `text` from `at`, as a number; -1 if one is not a digit.
long long Number(const std::string& text, std::size_t at, std::size_t length) {
    long long value = 0;
    for (std::size_t i = at; i < at + length; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "+03:00" at `at`: the offset in milliseconds, and the stamp's length grown.
std::optional<long long> ParseOffset(const std::string& text, std::size_t at) {
    if (at >= text.size() || (text[at] != '+' && text[at] != '-') || at + 6 > text.size() || text[at + 3] != ':')
        return std::nullopt;
    const long long hours = Number(text, at + 1, 2), minutes = Number(text, at + 4, 2);
    if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59) return std::nullopt;
    return (text[at] == '-' ? -1 : 1) * (hours * 60 + minutes) * 60000;
}

// "12.345" at `at`, in milliseconds; its end in `end`.
std::optional<long long> ParseSeconds(const std::string& text, std::size_t at, std::size_t& end) {
    const std::size_t point = text.find('.', at);
    if (point == std::string::npos || point == at || point > at + 12 || point + 4 > text.size()) return std::nullopt;
    const long long whole = Number(text, at, point - at), millis = Number(text, point + 1, 3);
    if (whole < 0 || millis < 0) return std::nullopt;
    end = point + 4;
    return whole * 1000 + millis;
}

// " [12.345]" at `at`, the seconds since the section began, or a burst's
// " [12.345+0.041]" with its span.
std::optional<TSteadyPart> ParseSteady(const std::string& text, std::size_t at) {
    if (text.compare(at, 2, " [") != 0) return std::nullopt;
    std::size_t end = 0;
    const auto since = ParseSeconds(text, at + 2, end);
    if (!since) return std::nullopt;
    TSteadyPart part{*since, 0, 0};
    if (text.compare(end, 1, "+") == 0) {
        const auto span = ParseSeconds(text, end + 1, end);
        if (!span) return std::nullopt;
        part.SpanMs = *span;
    }
    if (text.compare(end, 1, "]") != 0) return std::nullopt;
    part.Length = end + 1 - at;
    return part;
}

// "2026-12-08 14:18:39.203", then its offset from UTC and the steady
// clock's " [seconds]" when the trace has them (older ones have neither):
// the time that cannot jump when there is one.
std::optional<TStamp> ParseStamp(const std::string& text) {
    if (text.size() < kStampLength) return std::nullopt;
    const char* pattern = "dddd-dd-dd dd:dd:dd.ddd";
    for (std::size_t i = 0; i < kStampLength; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) { return static_cast<int>(Number(text, at, length)); };
    const int month = number(5, 2), day = number(8, 2), hour = number(11, 2), minute = number(14, 2),
              second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    TStamp stamp{((DaysFromCivil(number(0, 4), month, day) * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL +
                     number(20, 3),
                 false, kStampLength};
    if (const auto offset = ParseOffset(text, stamp.Length)) {
        stamp.AtMs -= *offset;
        stamp.Length += 6;
    }
    if (const auto steady = ParseSteady(text, stamp.Length))
        stamp = TStamp{steady->AtMs, true, stamp.Length + steady->Length, steady->SpanMs};
    return stamp;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The hex column: pairs one space apart, as many as the burst had, then
// blanks and the ASCII column (which may itself look like hex, so it ends
// the pairs only by the blanks before it).
std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at + 2 <= text.size()) {
        const int high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0 || (at + 2 < text.size() && text[at + 2] != ' ')) break;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        at += 3;
    }
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

// Whether `bytes` sent hold a run from an STX longer than a request: an
// answer, which a reader never sends. A burst may hold two requests.
bool HoldsMoreThanRequests(const std::vector<std::uint8_t>& bytes) {
    std::size_t run = 0;
    for (const auto byte : bytes) {
        run = byte == kStx ? 1 : run + 1;
        if (run > kRequestLength) return true;
    }
    return false;
}

// The milliseconds a note of a clock step says ("the clock stepped by
// +3600.000 s"); 0 for any other note.
long long StepOf(const std::string& note) {
    if (note.rfind(kClockSteppedNote, 0) != 0) return 0;
    const char* number = note.c_str() + sizeof kClockSteppedNote - 1;
    char* end = nullptr;
    const double seconds = std::strtod(number, &end);
    if (end == number || std::string(end) != " s" || !(seconds > -1e9 && seconds < 1e9)) return 0;
    return std::llround(seconds * 1000.0);
}

}  // namespace

std::variant<std::vector<TTraceEvent>, std::string> ReadWireTrace(const std::string& text, const std::string& name) {
    std::vector<TTraceEvent> events;
    // Notepad saves with a byte order mark.
    std::istringstream in(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(3) : text);
    bool inSection = false;
    int number = 0;
    // The clock steps noted so far: the stamps after one are that much off.
    long long steppedMs = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        const auto problem = [&](const std::string& what) { return name + ":" + std::to_string(number) + ": " + what; };
        const bool header = line.rfind("=== ", 0) == 0;
        const auto stamp = ParseStamp(header ? line.substr(4) : line);
        if (!stamp) return problem("no time stamp (like 2026-12-08 14:18:39.203) where one belongs: '" + Shown(line) + "'");
        // A noted step moves the wall clock's stamps, not the steady clock's.
        const long long at = stamp->Steady ? stamp->AtMs : stamp->AtMs - steppedMs;
        if (header) {
            events.push_back(TTraceEvent{TTraceEvent::TKind::Section, at, {}, number, stamp->Steady});
            inSection = true;
            continue;
        }
        const std::string rest = line.substr(stamp->Length);
        if (rest.rfind(" # ", 0) == 0) {
            steppedMs += StepOf(rest.substr(3));
            continue;
        }
        const bool sent = rest.rfind(" > ", 0) == 0;
        if (!sent && rest.rfind(" < ", 0) != 0)
            return problem("not a line of a wire trace (>, < or # after the time stamp): '" + Shown(line) + "'");
        if (!inSection) return problem("bytes before any === header, which says which way they went");
        const auto bytes = ParseHex(rest.substr(3));
        if (!bytes) return problem("no bytes in hex (like 02 4C 30 31 03 4C): '" + Shown(line) + "'");
        // A simulator tracing to the same file puts its answers, as its own
        // ">" lines, under the reader's header: played, they would be taken
        // for requests.
        if (sent && HoldsMoreThanRequests(*bytes))
            return problem("more bytes sent at once than a request has: another program's line under this "
                           "header (two programs tracing to one file?): '" + Shown(line) + "'");
        events.push_back(TTraceEvent{sent ? TTraceEvent::TKind::Sent : TTraceEvent::TKind::Received, at, *bytes, number,
                                     stamp->Steady, stamp->SpanMs});
    }
    return events;
}

long long ByteAtMs(const TTraceEvent& event, std::size_t index) {
    const std::size_t count = event.Bytes.size();
    if (count < 2 || event.SpanMs <= 0) return event.AtMs;
    return event.AtMs + event.SpanMs * static_cast<long long>(index) / static_cast<long long>(count - 1);
}

}  // namespace qmx::sim
