#include "final_hint.h"

#include <map>

namespace qmx::tools {
namespace {

// Silence says nothing of the line once a gauge has answered something:
// the answering faults outrank it.
bool Silent(TAttemptVerdict reason) { return reason == TAttemptVerdict::NoAnswer; }

// A tank that made no attempt (its device gone) met silence too, as did
// one whose request failed before any exchange.
bool MetSilence(const TTankReading& reading) {
    return reading.Attempts == 0 || reading.Reason == TAttemptVerdict::Valid || Silent(reading.Reason);
}

// "3 tanks rejected by the check byte: <hint>"; only the hint for silence.
std::string Failure(TAttemptVerdict reason, const std::string& tanks) {
    if (Silent(reason)) return VerdictHint(reason);
    return tanks + " " + VerdictOutcome(reason) + ": " + VerdictHint(reason);
}

}  // namespace

TMainFailure MainFailure(const std::vector<TTankReading>& readings) {
    std::map<TAttemptVerdict, std::size_t> tanks;
    std::vector<TAttemptVerdict> met;  // answering faults, in the order first met
    for (const auto& reading : readings) {
        if (reading.Valid) continue;
        const bool silent = MetSilence(reading);
        const TAttemptVerdict reason = silent ? TAttemptVerdict::NoAnswer : reading.Reason;
        if (tanks[reason]++ == 0 && !silent) met.push_back(reason);
    }
    // The most tanks decide; of as many, the reason met first.
    TAttemptVerdict chosen = TAttemptVerdict::NoAnswer;
    for (const auto reason : met)
        if (Silent(chosen) || tanks[reason] > tanks[chosen]) chosen = reason;
    return {chosen, tanks[chosen]};
}

std::string FinalHint(const std::vector<TTankReading>& readings, const std::string& device) {
    if (readings.empty()) return "";
    for (const auto& reading : readings)
        if (reading.Valid) return "";
    const TMainFailure failure = MainFailure(readings);
    return "qmx-read: no valid answer from " + device + ": " +
           Failure(failure.Reason, std::to_string(failure.Tanks) + (failure.Tanks == 1 ? " tank" : " tanks"));
}

std::string NoAnswerYetNote(const TTankReading& reading) {
    const bool silent = MetSilence(reading);
    return std::string("qmx-read: no tank has answered ") + (silent ? "yet: " : "validly yet: ") +
           Failure(silent ? TAttemptVerdict::NoAnswer : reading.Reason, "tank " + std::to_string(reading.Tank));
}

}  // namespace qmx::tools
