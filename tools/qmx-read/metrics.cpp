#include "metrics.h"

#include <algorithm>

#include "inventory_metrics.h"

namespace qmx::tools {
namespace {

std::string UpText(const TLineLabels& line, bool up) {
    return OneSampleText(line, "qmx_up",
                         "1 when the last round reached the gauge (the device there, an answer from it), else 0. "
                         "Every value is the last round's: a round can take a minute.",
                         up ? 1 : 0);
}

}  // namespace

std::string MetricsText(const TLineLabels& line, const std::vector<TTankReading>& readings,
                        const TRoundFigures& round, const TStationInventory* inventory) {
    std::string text = qmx::MetricsText(line, readings, round, ReaderSource(QMX_VERSION));
    if (inventory != nullptr) text += InventoryText(line, TankFigures(*inventory));
    return text;
}

bool ReachedGauge(const std::vector<TTankReading>& readings, bool devicePresent) {
    const auto answered = [](const TTankReading& r) {
        return r.Level || r.Temperature || r.SecondValue || r.Density ||
               (r.Reason != TAttemptVerdict::Valid && r.Reason != TAttemptVerdict::NoAnswer);
    };
    return devicePresent && std::any_of(readings.begin(), readings.end(), answered);
}

std::string ScrapeText(const TLineLabels& line, const std::vector<TTankReading>& readings,
                       const TRoundFigures& round, const TStationInventory* inventory) {
    return UpText(line, ReachedGauge(readings, round.DevicePresent)) +
           MetricsText(line, readings, round, inventory);
}

std::string ScrapeTextBeforeFirstRound(const TLineLabels& line) {
    return UpText(line, false) + SourceText(line, ReaderSource(QMX_VERSION));
}

}  // namespace qmx::tools
