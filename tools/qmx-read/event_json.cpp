#include "event_json.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "json_string.h"
#include "platform/time_stamp.h"

namespace qmx::tools {
namespace {

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string MomentJson(const TTankMoment& moment) {
    return "{\"time\": " + JsonString(UtcStamp(moment.Time)) + ", \"level\": " + Fixed(moment.Level, 2) +
           ", \"temperature\": " + Fixed(moment.Temperature, 1) + ", \"volume_l\": " + Fixed(moment.GrossLitres, 1) +
           ", \"volume15_l\": " + Fixed(moment.NetLitres, 1) + "}";
}

}  // namespace

std::string UtcStamp(double time) {
    const auto since = std::chrono::milliseconds(static_cast<long long>(std::llround(time * 1000.0)));
    return TimeStamp(std::chrono::system_clock::time_point(since), TTimeZone::Utc);
}

std::string DeliveryJson(const TDelivery& delivery) {
    return "{\"event\": \"delivery\", \"tank\": " + std::to_string(delivery.Tank) +
           ", \"start\": " + MomentJson(delivery.Start) + ", \"end\": " + MomentJson(delivery.End) +
           ", \"delivered_l\": " + Fixed(delivery.GrossLitres, 1) +
           ", \"delivered15_l\": " + Fixed(delivery.NetLitres, 1) + "}";
}

std::string LeakTestJson(const TLeakTest& test) {
    return "{\"event\": \"leak_test\", \"tank\": " + std::to_string(test.Tank) +
           ", \"from\": " + JsonString(UtcStamp(test.From)) + ", \"to\": " + JsonString(UtcStamp(test.To)) +
           ", \"readings\": " + std::to_string(test.Readings) +
           ", \"loss_l_per_h\": " + Fixed(test.LossLitresPerHour, 3) +
           ", \"passed\": " + (test.Passed ? "true" : "false") + "}";
}

std::string EventLine(const TTankEvent& event) {
    if (const auto* delivery = std::get_if<TDelivery>(&event)) return DeliveryJson(*delivery) + "\n";
    return LeakTestJson(std::get<TLeakTest>(event)) + "\n";
}

}  // namespace qmx::tools
