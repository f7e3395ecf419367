#include "protocol/attempt_verdict.h"

#include <iterator>

#include "protocol/frame.h"

namespace qmx {
namespace {

struct TVerdictName {
    TAttemptVerdict Verdict;
    std::uint8_t HostStatus;  // only the answer check's verdicts reach a host
    std::uint8_t LinkState;
    const char* Text;
    const char* Label;
    const char* Outcome;  // after "3 tanks"
    // What a technician looks at first when tanks fail so: each fault has
    // its own suspects, and the gauge answering at all rules out the wiring.
    const char* Hint;
};

constexpr TVerdictName kVerdicts[] = {
    {TAttemptVerdict::Valid, 0, 1, "valid", "none", "read valid", "nothing to look at"},
    {TAttemptVerdict::NoAnswer, 0, 2, "no answer", "no_answer", "with no answer",
     "is the gauge connected, powered and set to this line?"},
    {TAttemptVerdict::NoStx, 223, 2, "no STX", "no_stx", "with bytes but no STX",
     "bytes came, but none opened an answer: check for noise on the line, requests echoed back by the adapter, "
     "another device on the line, and that both ends run 9600 7E1"},
    {TAttemptVerdict::WrongLength, 219, 3, "wrong length", "wrong_length", "with answers of the wrong length",
     "answers came cut short or ran on: check that both ends run 9600 7E1, and that no other device talks on "
     "the line"},
    {TAttemptVerdict::NoEtx, 209, 3, "no ETX", "no_etx", "with answers without an ETX",
     "answers did not close as a frame does: check that both ends run 9600 7E1, and that no other device talks "
     "on the line"},
    {TAttemptVerdict::CheckByte, 222, 3, "check byte", "check_byte", "rejected by the check byte",
     "the gauge answers, but bytes arrive changed: check the line's grounding and shielding, and that both ends "
     "run 9600 7E1"},
    {TAttemptVerdict::InvalidValue, 0, 3, "invalid value", "invalid_value", "with a value the gauge cannot measure",
     "the gauge answers soundly, but with values it cannot have measured: check the gauge's tank setup and the "
     "probes"},
    {TAttemptVerdict::OtherRequest, 0, 3, "answer to another request", "other_request",
     "answered only for other requests",
     "answers came for requests this reader did not send: is another host polling the same line, or does the "
     "gauge mix its tanks up?"},
};

// One entry a verdict, in the enum's order: a verdict added without its
// texts and hint does not build.
constexpr bool EveryVerdictNamed() {
    constexpr auto count = static_cast<std::size_t>(TAttemptVerdict::OtherRequest) + 1;
    if (std::size(kVerdicts) != count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (static_cast<std::size_t>(kVerdicts[i].Verdict) != i) return false;
    return true;
}
static_assert(EveryVerdictNamed(), "each verdict needs its entry, in the enum's order");

const TVerdictName& NameOf(TAttemptVerdict verdict) {
    const auto at = static_cast<std::size_t>(verdict);
    return at < std::size(kVerdicts) ? kVerdicts[at] : kVerdicts[1];  // none outside the enum reaches here
}

}  // namespace

TAttemptVerdict JudgeAnswer(const std::uint8_t* answer, std::uint8_t received, std::uint8_t expected) {
    if (received != expected) return TAttemptVerdict::WrongLength;
    if (received < 1 || answer == nullptr || answer[0] != kSTX) return TAttemptVerdict::NoStx;
    if (received < 2 || answer[received - 2] != kETX) return TAttemptVerdict::NoEtx;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < received; ++i) sum ^= answer[i];
    return sum == 0 ? TAttemptVerdict::Valid : TAttemptVerdict::CheckByte;
}

TAttemptVerdict VerdictWithoutAnswer(std::size_t bytesBeforeStx, std::size_t otherAnswers) {
    if (otherAnswers != 0) return TAttemptVerdict::OtherRequest;
    return bytesBeforeStx == 0 ? TAttemptVerdict::NoAnswer : TAttemptVerdict::NoStx;
}

TAttemptVerdict JudgeAttempt(const std::uint8_t* answer, std::size_t received, std::size_t expected,
                             std::size_t bytesBeforeStx, std::size_t otherAnswers) {
    if (received == 0) return VerdictWithoutAnswer(bytesBeforeStx, otherAnswers);
    if (received != expected || expected > kMaxFrameLength) return TAttemptVerdict::WrongLength;
    return JudgeAnswer(answer, static_cast<std::uint8_t>(received), static_cast<std::uint8_t>(expected));
}

std::uint8_t HostAnswerStatus(TAttemptVerdict verdict) { return NameOf(verdict).HostStatus; }

std::uint8_t LinkStateOf(TAttemptVerdict verdict) { return NameOf(verdict).LinkState; }

const char* VerdictText(TAttemptVerdict verdict) { return NameOf(verdict).Text; }

const char* VerdictLabel(TAttemptVerdict verdict) { return NameOf(verdict).Label; }

const char* VerdictOutcome(TAttemptVerdict verdict) { return NameOf(verdict).Outcome; }

const char* VerdictHint(TAttemptVerdict verdict) { return NameOf(verdict).Hint; }

}  // namespace qmx
