#include "progress.h"

#include <algorithm>
#include <cstdio>

#include "protocol/exchange_record.h"

namespace qmx::tools {

std::string ClockText(TSeconds time) {
    const long long total = std::max<long long>(time.count(), 0);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

std::string ProgressLine(int tank, std::size_t index, std::size_t count, std::size_t attempt, TSeconds elapsed,
                         std::optional<TSeconds> left) {
    std::string line = "reading tank " + std::to_string(tank) + " (" + std::to_string(index) + " of " +
                       std::to_string(count) + "), attempt " + std::to_string(attempt) + " of " +
                       std::to_string(kMaxAttempts) + ", " + ClockText(elapsed) + " elapsed";
    if (left) line += ", about " + ClockText(*left) + " left";
    return line + "...";
}

std::optional<TSeconds> TimeLeft(std::size_t done, std::size_t count, std::chrono::duration<double> elapsedDone,
                                 std::chrono::duration<double> inTank) {
    if (done == 0 || done >= count) return std::nullopt;
    const auto left = elapsedDone / static_cast<double>(done) * static_cast<double>(count - done) - inTank;
    // Rounded up: "about 0:00 left" while a tank is still being read says
    // nothing true.
    return std::max(TSeconds(1), std::chrono::ceil<TSeconds>(left));
}

}  // namespace qmx::tools
