#include "netline/rfc2217_answerer.h"

#include <utility>

#include "netline/rfc2217.h"

namespace qmx::net {
namespace {

using namespace telnet;
namespace option = rfc2217;

// What a server that refuses the settings takes: 8 data bits, no parity, 1
// stop bit.
constexpr std::uint32_t kRefusedDataSize = 8;

}  // namespace

TRfc2217Answerer::TRfc2217Answerer(std::string signature, bool refuseSettings)
    : FSignature(std::move(signature)), FRefuseSettings(refuseSettings), FOptions({kBinary, kSuppressGoAhead}, {kComPortOption, kBinary, kSuppressGoAhead}) {}

std::vector<std::uint8_t> TRfc2217Answerer::Opening() {
    std::vector<std::uint8_t> wire;
    FOptions.Ask(kComPortOption, wire);
    FOptions.Offer(kBinary, wire);
    FOptions.Ask(kBinary, wire);
    FOptions.Offer(kSuppressGoAhead, wire);
    FOptions.Ask(kSuppressGoAhead, wire);
    return wire;
}

void TRfc2217Answerer::Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                              std::vector<std::uint8_t>& reply, std::vector<std::string>& notes) {
    std::vector<TCommand> commands;
    FDecoder.Feed(bytes, count, data, commands);
    for (const auto& command : commands) {
        if (command.Verb != SB)
            FOptions.Answer(command.Verb, command.Option, reply);
        else if (command.Option == kComPortOption)
            Answer(command.Bytes, reply, notes);
    }
}

void TRfc2217Answerer::Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) {
    AppendEscaped(data, count, wire);
}

TLineSettings TRfc2217Answerer::Settings() {
    TLockGuard guard(FLock);
    return FSettings;
}

void TRfc2217Answerer::Answer(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& reply,
                              std::vector<std::string>& notes) {
    if (bytes.empty() || bytes[0] >= option::kServerOffset) return;
    const std::uint8_t command = bytes[0];
    auto answer = [&](std::vector<std::uint8_t> sub) {
        sub[0] = static_cast<std::uint8_t>(sub[0] + option::kServerOffset);
        AppendSubnegotiation(kComPortOption, sub, reply);
    };
    if (command == option::kSignature) {
        std::vector<std::uint8_t> signature{option::kSignature};
        signature.insert(signature.end(), FSignature.begin(), FSignature.end());
        answer(signature);
        return;
    }
    const auto asked = option::ValueOf(bytes);
    if (!asked) return;
    std::uint32_t taken = *asked;
    {
        TLockGuard guard(FLock);
        switch (command) {
            case option::kSetBaudRate: FSettings.BaudRate = taken; break;
            case option::kSetDataSize:
                if (FRefuseSettings) taken = kRefusedDataSize;
                FSettings.DataSize = taken;
                break;
            case option::kSetParity:
                if (FRefuseSettings) taken = option::kParityNone;
                FSettings.Parity = taken;
                break;
            case option::kSetStopSize:
                if (FRefuseSettings) taken = option::kStopOne;
                FSettings.StopSize = taken;
                break;
            case option::kSetControl: FSettings.Controls.push_back(taken); break;
            case option::kPurgeData: ++FSettings.Purges; break;
            default: return;  // notices and masks: nothing to answer
        }
    }
    answer(option::Subnegotiation(command, taken));
    if (command != option::kPurgeData)
        notes.push_back("client set " + option::SettingName(command) + " " + option::ValueText(command, *asked) +
                        (taken != *asked ? ", answered " + option::ValueText(command, taken) : ""));
}

}  // namespace qmx::net
