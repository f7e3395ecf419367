#include "trace_replay.h"

#include <cstdio>

#include "gauge.h"
#include "text_file.h"

namespace qmx::sim {

std::string RequestName(const std::vector<std::uint8_t>& request) {
    bool readable = request.size() >= 3;
    for (std::size_t i = 1; readable && i + 2 < request.size(); ++i)
        readable = request[i] >= 0x20 && request[i] < 0x7F;
    if (readable) return std::string(request.begin() + 1, request.end() - 2);
    std::string hex;
    for (const auto byte : request) {
        char text[4];
        std::snprintf(text, sizeof text, "%s%02X", hex.empty() ? "" : " ", byte);
        hex += text;
    }
    return hex;
}

TTraceReplay::TTraceReplay(TSay say) : FSay(std::move(say)) {}

std::optional<std::string> TTraceReplay::Load(const std::string& path, bool (*stopped)()) {
    std::string text;
    if (auto problem = tools::ReadInputFile(path, kLargestTrace, text, stopped)) return problem;
    const auto read = ReadWireTrace(text, path);
    if (const auto* problem = std::get_if<std::string>(&read)) return *problem;
    return Take(std::get<std::vector<TTraceEvent>>(read), path);
}

std::optional<std::string> TTraceReplay::Take(const std::vector<TTraceEvent>& events, const std::string& name) {
    // What the line brought after a request, up to the next request or the
    // end of the run, is that request's answer: a late answer the reader
    // met while it waited for the next request is played after the next one,
    // at the time it came then.
    TRequestParser requests;
    std::vector<TReplyPart>* answer = nullptr;
    long long askedAt = 0, lastAt = -1;
    for (const auto& event : events) {
        switch (event.Kind) {
            case TTraceEvent::TKind::Section:
                requests = TRequestParser();
                answer = nullptr;
                break;
            case TTraceEvent::TKind::Sent:
                // A request was asked when its last byte went.
                for (std::size_t i = 0; i < event.Bytes.size(); ++i)
                    for (const auto& request : requests.Feed(&event.Bytes[i], 1)) {
                        auto& recorded = FRecorded[request].Answers;
                        recorded.emplace_back();
                        answer = &recorded.back();
                        askedAt = ByteAtMs(event, i);
                    }
                break;
            case TTraceEvent::TKind::Received:
                // Bytes before the run's first request are no answer.
                if (answer == nullptr) break;
                for (std::size_t i = 0; i < event.Bytes.size(); ++i) {
                    // The bytes of one time go as one part: those of a read
                    // an older trace wrote on several lines with one stamp.
                    const long long at = ByteAtMs(event, i);
                    if (answer->empty() || lastAt != at) answer->push_back(TReplyPart{Delay(event, at, askedAt, name), {}});
                    answer->back().Bytes.push_back(event.Bytes[i]);
                    lastAt = at;
                }
                break;
        }
    }
    if (FRecorded.empty()) return name + ": no request in it (a trace qmx-read wrote, with its === headers)";
    if (FCapped > 0 && FSay)
        FSay(name + ": " + std::to_string(FCapped) + " part(s) recorded over " + std::to_string(kLongestDelayMs) +
             " ms after their request, longer than three attempts wait, first on line " + std::to_string(FFirstCapped) +
             ": replayed just past the window, " + std::to_string(kJustPastWindowMs) + " ms after it");
    return std::nullopt;
}

// A part recorded far later than any attempt waits is no gauge's timing:
// played hours late it would hold every exchange after it. Never slept
// through, never hidden.
int TTraceReplay::Delay(const TTraceEvent& event, long long at, long long askedAt, const std::string& name) {
    long long after = at - askedAt;
    if (!event.Steady) after = Unjumped(event, after, name);
    if (after < 0) {
        if (FSay)
            FSay(name + ":" + std::to_string(event.Line) + ": bytes stamped " + std::to_string(-after) +
                 " ms before their request (the clock set back): played at once");
        return 0;
    }
    if (after <= kLongestDelayMs) return static_cast<int>(after);
    if (FCapped++ == 0) FFirstCapped = event.Line;
    return kJustPastWindowMs;
}

// Summer time's end sets the local clock back an hour without a step the
// trace notes; a trace another tool wrote notes none. The jump is the
// whole quarter hours of the gap, the gauge's own delay what remains.
long long TTraceReplay::Unjumped(const TTraceEvent& event, long long after, const std::string& name) {
    if (after >= 0 && after <= 2 * kLongestDelayMs) return after;
    const long long own = ((after % kZoneStepMs) + kZoneStepMs) % kZoneStepMs;
    if (own > 2 * kLongestDelayMs) return after;
    const long long jump = after - own;
    if (!FJumpSaid && FSay) {
        const long long minutes = (jump < 0 ? -jump : jump) / 60000;
        const std::string size = minutes % 60 == 0 ? std::to_string(minutes / 60) + " h" : std::to_string(minutes) + " min";
        FSay(name + ": the trace's stamps jump by " + (jump < 0 ? "-" : "+") + size + " at line " +
             std::to_string(event.Line) + " (a clock change?): replayed as if they had not");
    }
    FJumpSaid = true;
    return own;
}

std::size_t TTraceReplay::Exchanges() const {
    std::size_t count = 0;
    for (const auto& [request, recorded] : FRecorded) count += recorded.Answers.size();
    return count;
}

std::optional<TReply> TTraceReplay::Answer(const std::vector<std::uint8_t>& request, double) {
    const auto found = FRecorded.find(request);
    if (found == FRecorded.end()) {
        if (!FUnknownSaid[request] && FSay) FSay("the trace has no request " + RequestName(request) + ": not answered");
        FUnknownSaid[request] = true;
        return std::nullopt;
    }
    TRecorded& recorded = found->second;
    const auto& parts = recorded.Answers[recorded.Next];
    recorded.Next = (recorded.Next + 1) % recorded.Answers.size();
    if (parts.empty()) return std::nullopt;
    TReply reply;
    reply.Parts = parts;
    return reply;
}

}  // namespace qmx::sim
