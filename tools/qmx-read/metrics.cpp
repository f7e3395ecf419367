#include "metrics.h"

#include <cstdio>
#include <functional>
#include <optional>

namespace qmx::tools {
namespace {

// A label value: backslash, double quote and line feed escaped.
std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
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

class TExposition {
public:
    explicit TExposition(const std::string& device) : FDevice(LabelValue(device)) {}

    void Family(const char* name, const char* type, const char* help) {
        FText += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
        FName = name;
    }
    void Sample(const std::string& labels, double value) {
        FText += FName + "{device=\"" + FDevice + "\"" + labels + "} " + Number(value) + "\n";
    }
    std::string Text() const { return FText; }

private:
    const std::string FDevice;
    std::string FName;
    std::string FText;
};

std::string TankLabel(const TTankReading& reading) { return ",tank=\"" + std::to_string(reading.Tank) + "\""; }

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
        {"qmx_tank_level", "Product level of the tank, in the gauge's unit (hundredths).",
         [](const TTankReading& r) { return r.Level; }},
        {"qmx_tank_temperature", "Temperature of the tank's product, in the gauge's unit (tenths).",
         [](const TTankReading& r) { return r.Temperature; }},
        {"qmx_tank_second_value", "The second value of the tank's level answer, rounded.",
         [](const TTankReading& r) {
             return r.AuxValue ? std::optional<double>(*r.AuxValue) : std::nullopt;
         }},
        {"qmx_tank_density", "Density of the tank's product, as the gauge reports it.",
         [](const TTankReading& r) { return r.Density; }},
    };
    for (const auto& value : values) {
        out.Family(value.Name, "gauge", value.Help);
        for (const auto& reading : readings)
            if (const auto number = value.Of(reading)) out.Sample(TankLabel(reading), *number);
    }
    out.Family("qmx_tank_valid", "gauge", "1 when the tank's last reading gave all four values valid, else 0.");
    for (const auto& reading : readings) out.Sample(TankLabel(reading), reading.Valid() ? 1 : 0);
    out.Family("qmx_tank_failure_info", "gauge",
               "Why the tank's last reading failed (reason \"none\" when it did not): 1 on the current reason.");
    for (const auto& reading : readings) {
        const TAttemptVerdict reason = reading.Valid() ? TAttemptVerdict::Valid : reading.Reason;
        out.Sample(TankLabel(reading) + ",reason=\"" + VerdictLabel(reason) + "\"", 1);
    }
    out.Family("qmx_tank_attempts", "gauge", "Attempts the exchange that failed the tank made (0 when valid).");
    for (const auto& reading : readings) out.Sample(TankLabel(reading), reading.Valid() ? 0 : reading.Attempts);

    out.Family("qmx_round_duration_seconds", "gauge", "How long the last round of readings took.");
    out.Sample("", round.DurationSeconds);
    out.Family("qmx_round_failed_exchanges", "gauge", "Exchanges (attempts) without a valid answer in the last round.");
    out.Sample("", round.FailedExchanges);
    out.Family("qmx_round_end_time_seconds", "gauge", "When the last round ended, as Unix time.");
    out.Sample("", round.EndedAt);
    out.Family("qmx_rounds_total", "counter", "Rounds of readings since the reader started.");
    out.Sample("", static_cast<double>(round.Rounds));
    out.Family("qmx_failed_exchanges_total", "counter", "Exchanges without a valid answer since the reader started.");
    out.Sample("", static_cast<double>(round.FailedExchangesTotal));
    return out.Text();
}

}  // namespace qmx::tools
