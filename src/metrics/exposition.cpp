#include "metrics/exposition.h"

#include <cstdio>
#include <functional>

#include "metrics/utf8_text.h"
#include "protocol/answer_doubts.h"

namespace qmx {
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
    explicit TExposition(const TLineLabels& line) : FLine(LineLabels(line)) {}

    void Family(const std::string& name, const char* type, const std::string& help) {
        FText += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
        FName = name;
    }
    void Sample(const std::string& labels, double value) { Line(labels, Number(value)); }
    void TimeSample(const std::string& labels, double seconds) { Line(labels, Time(seconds)); }
    void Sample(const std::string& labels, double value, TSampleKind kind) {
        Line(labels, kind == TSampleKind::Time ? Time(value) : Number(value));
    }
    std::string Text() const { return FText; }

private:
    void Line(const std::string& labels, const std::string& value) {
        FText += FName + "{" + FLine + labels + "} " + value + "\n";
    }
    static std::string LineLabels(const TLineLabels& line) {
        std::string labels = "device=\"" + LabelValue(line.Device) + "\"";
        if (!line.Instance.empty()) labels += ",instance=\"" + LabelValue(line.Instance) + "\"";
        return labels;
    }

    const std::string FLine;  // the labels every sample starts with
    std::string FName;
    std::string FText;
};

std::string TankLabel(int tank) { return ",tank=\"" + std::to_string(tank) + "\""; }

void Source(TExposition& out, const TSourceInfo& source) {
    out.Family(source.Family, "gauge", source.Help);
    std::string labels;
    for (const auto& [name, value] : source.Labels) labels += "," + name + "=\"" + LabelValue(value) + "\"";
    out.Sample(labels, 1);
}

void TankValues(TExposition& out, const std::vector<TTankReading>& tanks) {
    struct TValue {
        const char* Name;
        const char* Help;
        std::optional<double> TTankReading::*Of;
    };
    static const TValue kValues[] = {
        {"qmx_tank_level",
         "Product level of the tank's last reading, in the gauge's length unit as the gauge shows it (the answer's "
         "0012345 reads 123.45).",
         &TTankReading::Level},
        {"qmx_tank_temperature",
         "Temperature of the tank's product in its last reading, in degrees as the gauge shows them (the answer's "
         "-125 reads -12.5).",
         &TTankReading::Temperature},
        {"qmx_tank_second_value", "The second value of the tank's last level answer, rounded to a whole number.",
         &TTankReading::SecondValue},
        {"qmx_tank_density", "Density of the tank's product in its last reading, as the gauge shows it.",
         &TTankReading::Density},
    };
    for (const auto& value : kValues) {
        out.Family(value.Name, "gauge", value.Help);
        for (const auto& tank : tanks)
            if (const auto& number = tank.*value.Of) out.Sample(TankLabel(tank.Tank), *number);
    }
}

void TankVerdicts(TExposition& out, const std::vector<TTankReading>& tanks) {
    out.Family("qmx_tank_link_state", "gauge",
               "The link state the tank's last operation left, as the host read it: 1 valid answer, 2 no answer, "
               "3 invalid answer.");
    for (const auto& tank : tanks) out.Sample(TankLabel(tank.Tank), tank.LinkState);
    out.Family("qmx_tank_valid", "gauge", "1 when the tank's last reading gave all four values valid, else 0.");
    for (const auto& tank : tanks) out.Sample(TankLabel(tank.Tank), tank.Valid ? 1 : 0);
    out.Family("qmx_tank_failure_info", "gauge",
               "Why the tank's last reading failed: 1 on the reason; \"none\" when it did not fail, \"not_asked\" "
               "when no exchange was made for it (the device had gone).");
    for (const auto& tank : tanks)
        out.Sample(TankLabel(tank.Tank) + ",reason=\"" + LabelValue(FailureReason(tank)) + "\"", 1);
    out.Family("qmx_tank_attempts", "gauge",
               "Attempts the exchange that failed the tank's last reading made (0 when valid or not asked).");
    for (const auto& tank : tanks) out.Sample(TankLabel(tank.Tank), tank.Valid ? 0 : tank.Attempts);
    out.Family("qmx_tank_doubtful", "gauge",
               "1 when an answer of the tank's last reading is in doubt (another tank's, fields not numbers), "
               "though the driver took it as valid.");
    for (const auto& tank : tanks) out.Sample(TankLabel(tank.Tank), tank.Doubts == 0 ? 0 : 1);
    out.Family("qmx_tank_doubt_info", "gauge", "Why the tank's last reading is in doubt: 1 for each doubt.");
    for (const auto& tank : tanks)
        for (const auto& doubt : DoubtLabels(tank.Doubts))
            out.Sample(TankLabel(tank.Tank) + ",doubt=\"" + LabelValue(doubt) + "\"", 1);
}

void Round(TExposition& out, const TRoundFigures& round) {
    out.Family("qmx_tank_last_valid_timestamp_seconds", "gauge",
               "When the tank last gave a reading valid and without doubt, as Unix time.");
    for (const auto& [tank, at] : round.LastValidAt) out.TimeSample(TankLabel(tank), at);
    out.Family("qmx_round_duration_seconds", "gauge", "How long the last round of readings took, in seconds.");
    out.Sample("", round.DurationSeconds);
    out.Family("qmx_round_failed_exchanges", "gauge", "Exchanges (attempts) without a valid answer in the last round.");
    out.Sample("", round.FailedExchanges);
    out.Family("qmx_round_end_time_seconds", "gauge", "When the last round ended, as Unix time.");
    out.TimeSample("", round.EndedAt);
    out.Family("qmx_device_present", "gauge", "1 when the serial device was there at the end of the last round.");
    out.Sample("", round.DevicePresent ? 1 : 0);
    out.Family("qmx_rounds_total", "counter", "Rounds of readings since the start.");
    out.Sample("", static_cast<double>(round.Rounds));
    out.Family("qmx_failed_exchanges_total", "counter", "Exchanges without a valid answer since the start.");
    out.Sample("", static_cast<double>(round.FailedExchangesTotal));
}

}  // namespace

TSourceInfo ReaderSource(const std::string& version) {
    return {"qmx_read_build_info", "The reader's version, as a label; always 1.", {{"version", version}}};
}

TSourceInfo DriverSource(const std::string& version, const std::string& hostExecutable) {
    return {"qmx_driver_build_info",
            "The readings come from the driver inside a station's host: its version and the host's program, as "
            "labels; always 1.",
            {{"version", version}, {"host", hostExecutable}}};
}

std::string FailureReason(bool valid, bool asked, TAttemptVerdict verdict) {
    if (valid) return VerdictLabel(TAttemptVerdict::Valid);
    return asked ? VerdictLabel(verdict) : "not_asked";
}

std::string FailureReason(const TTankReading& reading) {
    return FailureReason(reading.Valid, reading.Attempts != 0, reading.Reason);
}

std::string MetricsText(const TLineLabels& line, const std::vector<TTankReading>& tanks,
                        const TRoundFigures& round, const TSourceInfo& source) {
    TExposition out(line);
    TankValues(out, tanks);
    TankVerdicts(out, tanks);
    Round(out, round);
    Source(out, source);
    return out.Text();
}

std::string SourceText(const TLineLabels& line, const TSourceInfo& source) {
    TExposition out(line);
    Source(out, source);
    return out.Text();
}

std::string OneSampleText(const TLineLabels& line, const std::string& family, const std::string& help,
                          double value, TSampleKind kind) {
    TExposition out(line);
    out.Family(family, kind == TSampleKind::Counter ? "counter" : "gauge", help);
    out.Sample("", value, kind);
    return out.Text();
}

std::string TankSamplesText(const TLineLabels& line, const std::string& family, const std::string& help,
                            const std::map<int, double>& byTank, TSampleKind kind) {
    if (byTank.empty()) return {};
    TExposition out(line);
    out.Family(family, kind == TSampleKind::Counter ? "counter" : "gauge", help);
    for (const auto& [tank, value] : byTank) out.Sample(TankLabel(tank), value, kind);
    return out.Text();
}

}  // namespace qmx
