#include "protocol/attempt_verdict.h"

#include "protocol/frame.h"

namespace qmx {
namespace {

struct TVerdictName {
    TAttemptVerdict Verdict;
    std::uint8_t HostStatus;  // only the answer check's verdicts reach a host
    std::uint8_t LinkState;
    const char* Text;
    const char* Label;
};

constexpr TVerdictName kVerdicts[] = {
    {TAttemptVerdict::Valid, 0, 1, "valid", "none"},
    {TAttemptVerdict::NoAnswer, 0, 2, "no answer", "no_answer"},
    {TAttemptVerdict::NoStx, 223, 2, "no STX", "no_stx"},
    {TAttemptVerdict::WrongLength, 219, 3, "wrong length", "wrong_length"},
    {TAttemptVerdict::NoEtx, 209, 3, "no ETX", "no_etx"},
    {TAttemptVerdict::CheckByte, 222, 3, "check byte", "check_byte"},
    {TAttemptVerdict::InvalidValue, 0, 3, "invalid value", "invalid_value"},
    {TAttemptVerdict::OtherRequest, 0, 3, "answer to another request", "other_request"},
};

const TVerdictName& NameOf(TAttemptVerdict verdict) {
    for (const auto& entry : kVerdicts)
        if (entry.Verdict == verdict) return entry;
    return kVerdicts[1];  // no verdict outside the enum reaches here
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

}  // namespace qmx
