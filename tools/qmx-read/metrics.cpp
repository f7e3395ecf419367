#include "metrics.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "utf8_text.h"

namespace qmx::tools {
namespace {

// A label value: bytes that are not UTF-8 as \xHH (the exposition format
// is UTF-8, and one bad byte makes a collector drop the whole file), then
// backslash, double quote and line feed escaped.
std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (char c : EscapeInvalidUtf8(text)) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// Unix time to the millisecond: %.10g would keep only whole seconds.
std::string Time(double seconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

class TExposition {
public:
    explicit TExposition(const std::string& device) : FDevice(LabelValue(device)) {}

    void Family(const char* name, const char* type, const char* help) {
        FText += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
        FName = name;
    }
    void Sample(const std::string& labels, double value) { Line(labels, Number(value)); }
    void TimeSample(const std::string& labels, double seconds) { Line(labels, Time(seconds)); }
    std::string Text() const { return FText; }

private:
    void Line(const std::string& labels, const std::string& value) {
        FText += FName + "{device=\"" + FDevice + "\"" + labels + "} " + value + "\n";
    }

    const std::string FDevice;
    std::string FName;
    std::string FText;
};

std::string TankLabel(const TTankReading& reading) { return ",tank=\"" + std::to_string(reading.Tank) + "\""; }

void BuildInfo(TExposition& out) {
    out.Family("qmx_read_build_info", "gauge", "The reader's version, as a label; always 1.");
    out.Sample(",version=\"" + LabelValue(QMX_VERSION) + "\"", 1);
}

std::string UpText(const std::string& device, bool up) {
    TExposition out(device);
    out.Family("qmx_up", "gauge",
               "1 when the last round reached the gauge (the device there, an answer from it), else 0. Every "
               "value is the last round's: a round can take a minute.");
    out.Sample("", up ? 1 : 0);
    return out.Text();
}

}  // namespace

std::string MetricsText(const std::string& device, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round) {
    TExposition out(device);
    struct TValue {
        const char* Name;
        const char* Help;
        std::function<std::optional<double>(const TTankReading&)> Of;
    };
    const TValue values[] = {
        {"qmx_tank_level", "Product level of the tank in the last round, in the gauge's unit (hundredths).",
         [](const TTankReading& r) { return r.Level; }},
        {"qmx_tank_temperature", "Temperature of the tank's product in the last round, in the gauge's unit (tenths).",
         [](const TTankReading& r) { return r.Temperature; }},
        {"qmx_tank_second_value", "The second value of the tank's level answer in the last round, rounded.",
         [](const TTankReading& r) {
             return r.AuxValue ? std::optional<double>(*r.AuxValue) : std::nullopt;
         }},
        {"qmx_tank_density", "Density of the tank's product in the last round, as the gauge reports it.",
         [](const TTankReading& r) { return r.Density; }},
    };
    for (const auto& value : values) {
        out.Family(value.Name, "gauge", value.Help);
        for (const auto& reading : readings)
            if (const auto number = value.Of(reading)) out.Sample(TankLabel(reading), *number);
    }
    out.Family("qmx_tank_valid", "gauge",
               "1 when the tank's reading in the last round gave all four values valid, else 0.");
    for (const auto& reading : readings) out.Sample(TankLabel(reading), reading.Valid() ? 1 : 0);
    out.Family("qmx_tank_failure_info", "gauge",
               "Why the tank's reading in the last round failed (reason \"none\" when it did not): 1 on the reason.");
    for (const auto& reading : readings) {
        const TAttemptVerdict reason = reading.Valid() ? TAttemptVerdict::Valid : reading.Reason;
        out.Sample(TankLabel(reading) + ",reason=\"" + VerdictLabel(reason) + "\"", 1);
    }
    out.Family("qmx_tank_attempts", "gauge",
               "Attempts the exchange that failed the tank in the last round made (0 when valid).");
    for (const auto& reading : readings) out.Sample(TankLabel(reading), reading.Valid() ? 0 : reading.Attempts);
    out.Family("qmx_tank_doubtful", "gauge",
               "1 when an answer of the tank's reading in the last round is in doubt (another tank's, fields not "
               "numbers), though the driver took it as valid.");
    for (const auto& reading : readings) out.Sample(TankLabel(reading), reading.Doubts.empty() ? 0 : 1);
    out.Family("qmx_tank_doubt_info", "gauge",
               "Why the tank's reading in the last round is in doubt: 1 for each doubt.");
    for (const auto& reading : readings)
        for (const auto& doubt : reading.Doubts)
            out.Sample(TankLabel(reading) + ",doubt=\"" + LabelValue(DoubtLabel(doubt)) + "\"", 1);
    out.Family("qmx_tank_last_valid_timestamp_seconds", "gauge",
               "When the tank last gave a reading valid and without doubt, as Unix time.");
    for (const auto& [tank, at] : round.LastValidAt) out.TimeSample(",tank=\"" + std::to_string(tank) + "\"", at);

    out.Family("qmx_round_duration_seconds", "gauge", "How long the last round of readings took.");
    out.Sample("", round.DurationSeconds);
    out.Family("qmx_round_failed_exchanges", "gauge", "Exchanges (attempts) without a valid answer in the last round.");
    out.Sample("", round.FailedExchanges);
    out.Family("qmx_round_end_time_seconds", "gauge", "When the last round ended, as Unix time.");
    out.TimeSample("", round.EndedAt);
    out.Family("qmx_device_present", "gauge", "1 when the serial device was there at the end of the last round.");
    out.Sample("", round.DevicePresent ? 1 : 0);
    out.Family("qmx_rounds_total", "counter", "Rounds of readings since the reader started.");
    out.Sample("", static_cast<double>(round.Rounds));
    out.Family("qmx_failed_exchanges_total", "counter", "Exchanges without a valid answer since the reader started.");
    out.Sample("", static_cast<double>(round.FailedExchangesTotal));
    BuildInfo(out);
    return out.Text();
}

bool ReachedGauge(const std::vector<TTankReading>& readings, bool devicePresent) {
    const auto answered = [](const TTankReading& r) {
        return r.Level || r.Temperature || r.AuxValue || r.Density ||
               (r.Reason != TAttemptVerdict::Valid && r.Reason != TAttemptVerdict::NoAnswer);
    };
    return devicePresent && std::any_of(readings.begin(), readings.end(), answered);
}

std::string ScrapeText(const std::string& device, const std::vector<TTankReading>& readings,
                       const TRoundFigures& round) {
    return UpText(device, ReachedGauge(readings, round.DevicePresent)) + MetricsText(device, readings, round);
}

std::string ScrapeTextBeforeFirstRound(const std::string& device) {
    TExposition out(device);
    BuildInfo(out);
    return UpText(device, false) + out.Text();
}

}  // namespace qmx::tools
