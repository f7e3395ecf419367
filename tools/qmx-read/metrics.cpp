#include "metrics.h"

#include <algorithm>

#include "protocol/answer_doubts.h"

namespace qmx::tools {
namespace {

std::string UpText(const std::string& device, bool up) {
    return OneSampleText(device, "qmx_up",
                         "1 when the last round reached the gauge (the device there, an answer from it), else 0. "
                         "Every value is the last round's: a round can take a minute.",
                         up ? 1 : 0);
}

}  // namespace

TTankFigures FiguresOf(const TTankReading& reading) {
    TTankFigures figures;
    figures.Tank = reading.Tank;
    figures.Level = reading.Level;
    figures.Temperature = reading.Temperature;
    if (reading.AuxValue) figures.SecondValue = *reading.AuxValue;
    figures.Density = reading.Density;
    figures.LinkState = reading.LinkState;
    figures.Valid = reading.Valid();
    figures.Reason = FailureReason(reading.Valid(), reading.Attempts != 0, reading.Reason);
    figures.Attempts = reading.Attempts;
    for (const auto& doubt : reading.Doubts) figures.Doubts.push_back(DoubtLabel(doubt));
    return figures;
}

std::string MetricsText(const std::string& device, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round) {
    std::vector<TTankFigures> tanks;
    for (const auto& reading : readings) tanks.push_back(FiguresOf(reading));
    return qmx::MetricsText(device, tanks, round, ReaderSource(QMX_VERSION));
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
    return UpText(device, false) + SourceText(device, ReaderSource(QMX_VERSION));
}

}  // namespace qmx::tools
