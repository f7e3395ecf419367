#pragma once

// A moment of the wall clock as the programs write it, to the millisecond:
// the wire trace in local time, for the technician beside the station's
// clock; the readers' rows in UTC, for what collects them from many.

#include <chrono>
#include <string>

namespace qmx {

enum class TTimeZone {
    Local,            // 2026-12-08 09:14:03.120
    LocalWithOffset,  // 2026-12-08 09:14:03.120+03:00: the same instant however the local clock was set
    Utc,              // 2026-12-08T09:14:03.120Z (ISO 8601)
};

std::string TimeStamp(std::chrono::system_clock::time_point when, TTimeZone zone);

}  // namespace qmx
