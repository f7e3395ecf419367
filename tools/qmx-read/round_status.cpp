#include "round_status.h"

#include <chrono>

#include "final_hint.h"
#include "platform/time_stamp.h"

namespace qmx::tools {
namespace {

// The time of day in UTC, to the second, as the rows write it: "10:14:03Z".
std::string TimeOfDay(double unixTime) {
    const std::chrono::system_clock::time_point when(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(unixTime)));
    const std::string stamp = TimeStamp(when, TTimeZone::Utc);  // 2026-12-08T10:14:03.120Z
    return stamp.substr(11, 8) + "Z";
}

}  // namespace

std::string RoundStatus(const std::vector<TTankReading>& readings, const TRoundFigures& round) {
    std::size_t valid = 0;
    for (const auto& reading : readings) valid += reading.Valid ? 1 : 0;
    std::string line = "round " + std::to_string(round.Rounds) + " ended " + TimeOfDay(round.EndedAt) + ": " +
                       std::to_string(valid) + " of " + std::to_string(readings.size()) + " tanks valid";
    if (!round.DevicePresent) return line + ", the device has gone";
    if (valid == readings.size()) return line;
    const TMainFailure failure = MainFailure(readings);
    return line + ", " + std::to_string(failure.Tanks) + " " + VerdictOutcome(failure.Reason);
}

}  // namespace qmx::tools
