#include "tap_hearing.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace qmx::tools {
namespace {

struct TSilenceText {
    TTapSilence Silence;
    const char* What;
    const char* Means;
};

// One place for what each silence says, for the log as for the terminal.
constexpr TSilenceText kSilenceTexts[] = {
    {TTapSilence::Nothing, "nothing heard from either side",
     "the tap is on the wrong wire or not connected, the line is not at 9600 (nothing decodes), "
     "or the host is not polling"},
    {TTapSilence::NoAnswers, "requests heard but nothing from the gauge side",
     "the gauge is silent (powered? its address?) or the tap hears one direction only "
     "(the tap's RX and TX reversed, or a Y-cable with one leg)"},
    {TTapSilence::NoRequests, "answers heard but nothing from the host side",
     "the host's direction is not tapped (wires reversed): a gauge does not speak unasked"},
    {TTapSilence::NoFrames, "bytes heard but no whole frame",
     "the line's speed or parity is not the gauge's 9600 7E1"},
};

double Latest(std::initializer_list<std::optional<double>> times, double since) {
    double latest = since;
    for (const auto& time : times) latest = std::max(latest, time.value_or(since));
    return latest;
}

bool QuietSince(double from, double now) { return now - from >= kTapSilenceSeconds; }

// Bytes within the silence, none of them ending a frame since they began.
bool Unframed(const THeardSide& side, double since, double now) {
    return !QuietSince(Latest({side.LastByteAt}, since), now) &&
           QuietSince(Latest({side.FirstByteAt, side.LastFrameAt}, since), now);
}

std::string Grouped(long long count) {
    std::string digits = std::to_string(count);
    for (auto at = static_cast<long long>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

std::string SideText(const char* name, const THeardSide& side, double now) {
    std::string text = std::string(name) + " " + Grouped(side.Bytes) + " bytes";
    if (!side.LastByteAt) return text + " (none yet)";
    char ago[32];
    std::snprintf(ago, sizeof ago, " (%.1f s ago)", std::max(0.0, now - *side.LastByteAt));
    return text + ago;
}

}  // namespace

std::optional<TTapSilence> SilenceOf(const TTapHearing& h, double now) {
    const bool hostQuiet = QuietSince(Latest({h.Host.LastByteAt}, h.Since), now);
    const bool gaugeQuiet = QuietSince(Latest({h.Gauge.LastByteAt}, h.Since), now);
    if (hostQuiet && gaugeQuiet) return TTapSilence::Nothing;
    if (Unframed(h.Host, h.Since, now) || Unframed(h.Gauge, h.Since, now)) return TTapSilence::NoFrames;
    // Each side's silence counts from when the other began to speak.
    if (QuietSince(Latest({h.Gauge.LastByteAt, h.Host.FirstByteAt}, h.Since), now)) return TTapSilence::NoAnswers;
    if (QuietSince(Latest({h.Host.LastByteAt, h.Gauge.FirstByteAt}, h.Since), now)) return TTapSilence::NoRequests;
    return std::nullopt;
}

std::string SilenceNote(TTapSilence silence) {
    for (const auto& text : kSilenceTexts)
        if (text.Silence == silence)
            return "qmx-read: " + std::string(text.What) + " for " +
                   std::to_string(static_cast<int>(kTapSilenceSeconds)) + " s: " + text.Means;
    return "qmx-read: silence";
}

std::string HearingLine(const TTapHearing& hearing, double now) {
    return "heard: " + SideText(hearing.Merged ? "requests" : "host", hearing.Host, now) + ", " +
           SideText(hearing.Merged ? "answers" : "gauge", hearing.Gauge, now);
}

}  // namespace qmx::tools
