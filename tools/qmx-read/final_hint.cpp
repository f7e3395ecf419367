#include "final_hint.h"

#include <map>

namespace qmx::tools {
namespace {

// Silence says nothing of the line once a gauge has answered something:
// the answering faults outrank it.
bool Silent(TAttemptVerdict reason) { return reason == TAttemptVerdict::NoAnswer; }

// "3 tanks rejected by the check byte: <hint>"; only the hint for silence.
std::string Failure(TAttemptVerdict reason, const std::string& tanks) {
    if (Silent(reason)) return VerdictHint(reason);
    return tanks + " " + VerdictOutcome(reason) + ": " + VerdictHint(reason);
}

}  // namespace

std::string FinalHint(const std::vector<TTankReading>& readings, const std::string& device) {
    if (readings.empty()) return "";
    std::map<TAttemptVerdict, std::size_t> tanks;
    std::vector<TAttemptVerdict> met;  // in the order first met
    for (const auto& reading : readings) {
        if (reading.Valid) return "";
        // A tank that made no attempt (the device gone) met silence too.
        if (reading.Attempts == 0 || reading.Reason == TAttemptVerdict::Valid || Silent(reading.Reason)) continue;
        if (tanks[reading.Reason]++ == 0) met.push_back(reading.Reason);
    }
    // The most tanks decide; of as many, the reason met first.
    TAttemptVerdict chosen = TAttemptVerdict::NoAnswer;
    for (const auto reason : met)
        if (Silent(chosen) || tanks[reason] > tanks[chosen]) chosen = reason;
    const std::size_t count = tanks[chosen];
    return "qmx-read: no valid answer from " + device + ": " +
           Failure(chosen, std::to_string(count) + (count == 1 ? " tank" : " tanks"));
}

std::string NoAnswerYetNote(const TTankReading& reading) {
    const bool silent = reading.Attempts == 0 || reading.Reason == TAttemptVerdict::Valid || Silent(reading.Reason);
    return std::string("qmx-read: no tank has answered ") + (silent ? "yet: " : "validly yet: ") +
           Failure(silent ? TAttemptVerdict::NoAnswer : reading.Reason, "tank " + std::to_string(reading.Tank));
}

}  // namespace qmx::tools
