#include "platform/time_stamp.h"

#include <cstdio>
#include <ctime>

namespace qmx {
namespace {

struct TCivilTime {
    int Year, Month, Day, Hour, Minute, Second;
};

TCivilTime LocalTime(std::time_t seconds) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

// Reckoned here rather than by gmtime_s, which Windows XP's C runtime
// lacks: UTC needs no table of the system's.
TCivilTime UtcTime(std::chrono::sys_seconds seconds) {
    const auto day = std::chrono::floor<std::chrono::days>(seconds);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss time{seconds - day};
    return {static_cast<int>(date.year()),         static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count())};
}

std::chrono::sys_seconds AsIfUtc(const TCivilTime& t) {
    using namespace std::chrono;
    const year_month_day date{year{t.Year}, month{static_cast<unsigned>(t.Month)}, day{static_cast<unsigned>(t.Day)}};
    return sys_days{date} + hours{t.Hour} + minutes{t.Minute} + seconds{t.Second};
}

// "+03:00": how far the local clock stood from UTC at that moment, so a
// reader of the stamp knows the instant across a change of summer time.
std::string UtcOffset(const TCivilTime& local, std::chrono::sys_seconds utc) {
    // Within a day either way: no zone stands further from UTC.
    const int minutes = static_cast<int>(std::chrono::duration_cast<std::chrono::minutes>(AsIfUtc(local) - utc).count());
    const int size = minutes < 0 ? -minutes : minutes;
    char text[32];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', size / 60, size % 60);
    return text;
}

}  // namespace

std::string TimeStamp(std::chrono::system_clock::time_point when, TTimeZone zone) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const bool utc = zone == TTimeZone::Utc;
    const TCivilTime t = utc ? UtcTime(seconds) : LocalTime(std::chrono::system_clock::to_time_t(seconds));
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d.%03d%s", t.Year, t.Month, t.Day,
                  utc ? 'T' : ' ', t.Hour, t.Minute, t.Second, static_cast<int>(millis), utc ? "Z" : "");
    if (zone != TTimeZone::LocalWithOffset) return text;
    return text + UtcOffset(t, seconds);
}

}  // namespace qmx
