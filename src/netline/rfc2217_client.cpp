#include "netline/rfc2217_client.h"

#include <algorithm>
#include <string>

namespace qmx::net {
namespace {

using namespace telnet;
using TClock = std::chrono::steady_clock;

// What the client says it is when the server asks.
constexpr char kSignature[] = "Quelmarox gauge reader";

std::uint32_t MillisecondsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

}  // namespace

TRfc2217Client::TRfc2217Client()
    : FOptions({kComPortOption, kBinary, kSuppressGoAhead}, {kBinary, kSuppressGoAhead}) {
    FAnswered.Create(TEvent::TReset::Auto);
}

std::vector<std::uint8_t> TRfc2217Client::Opening() {
    TLockGuard guard(FLock);
    std::vector<std::uint8_t> wire;
    FOptions.Offer(kComPortOption, wire);
    // The line's bytes pass untouched only in binary mode: a check byte of
    // 0x0D would otherwise go as CR NUL.
    FOptions.Offer(kBinary, wire);
    FOptions.Ask(kBinary, wire);
    FOptions.Offer(kSuppressGoAhead, wire);
    FOptions.Ask(kSuppressGoAhead, wire);
    return wire;
}

std::string TRfc2217Client::AwaitOpening(std::chrono::milliseconds limit) {
    const auto deadline = TClock::now() + limit;
    for (;;) {
        {
            TLockGuard guard(FLock);
            const TOptionState comPort = FOptions.Ours(kComPortOption);
            const TOptionState binaryOut = FOptions.Ours(kBinary);
            const TOptionState binaryIn = FOptions.Theirs(kBinary);
            if (comPort == TOptionState::No) return "the server refused the COM-PORT option (RFC 2217)";
            if (binaryOut == TOptionState::No || binaryIn == TOptionState::No)
                return "the server refused binary mode, which the line's bytes need";
            if (comPort == TOptionState::Yes && binaryOut == TOptionState::Yes && binaryIn == TOptionState::Yes)
                return std::string();
        }
        const std::uint32_t left = MillisecondsLeft(deadline);
        if (left == 0) return "the server did not take the COM-PORT option (RFC 2217) within " +
                              std::to_string(limit.count() / 1000) + " s: is it a raw TCP port (socket://)?";
        FAnswered.Wait(left);
    }
}

std::vector<std::uint8_t> TRfc2217Client::Request(std::uint8_t command, std::uint32_t value) {
    {
        TLockGuard guard(FLock);
        FAnswers[command] = TAnswer{true, std::nullopt};
    }
    return Command(command, value);
}

std::vector<std::uint8_t> TRfc2217Client::Command(std::uint8_t command, std::uint32_t value) {
    std::vector<std::uint8_t> wire;
    AppendSubnegotiation(kComPortOption, rfc2217::Subnegotiation(command, value), wire);
    return wire;
}

std::vector<std::optional<std::uint32_t>> TRfc2217Client::AwaitAnswers(const std::vector<std::uint8_t>& commands,
                                                                       std::chrono::milliseconds limit) {
    const auto deadline = TClock::now() + limit;
    for (;;) {
        bool all = true;
        std::vector<std::optional<std::uint32_t>> answers;
        {
            TLockGuard guard(FLock);
            for (std::uint8_t command : commands) {
                answers.push_back(FAnswers[command].Value);
                all = all && FAnswers[command].Value.has_value();
            }
        }
        const std::uint32_t left = MillisecondsLeft(deadline);
        if (all || left == 0) return answers;
        FAnswered.Wait(left);
    }
}

void TRfc2217Client::Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                            std::vector<std::uint8_t>& reply) {
    std::vector<TCommand> commands;
    FDecoder.Feed(bytes, count, data, commands);
    if (commands.empty()) return;
    {
        TLockGuard guard(FLock);
        for (const auto& command : commands) Handle(command, reply);
    }
    FAnswered.Set();
}

void TRfc2217Client::Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) {
    AppendEscaped(data, count, wire);
}

void TRfc2217Client::Handle(const TCommand& command, std::vector<std::uint8_t>& reply) {
    if (command.Verb != SB) {
        // ECHO among them: the server has nothing to echo on a serial line.
        FOptions.Answer(command.Verb, command.Option, reply);
        return;
    }
    if (command.Option == kComPortOption) HandleServerCommand(command.Bytes, reply);
}

void TRfc2217Client::HandleServerCommand(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& reply) {
    if (bytes.empty() || bytes[0] < rfc2217::kServerOffset) return;
    const auto command = static_cast<std::uint8_t>(bytes[0] - rfc2217::kServerOffset);
    if (command == rfc2217::kSignature && bytes.size() == 1) {
        // The server asks who the client is.
        // Sized at once: growing a one-byte vector by a range trips a false
        // bounds warning of the i686 compiler.
        std::vector<std::uint8_t> signature(sizeof kSignature);
        signature[0] = rfc2217::kSignature;
        std::copy(kSignature, kSignature + sizeof kSignature - 1, signature.begin() + 1);
        AppendSubnegotiation(kComPortOption, signature, reply);
        return;
    }
    // Line and modem state notices, and the server's flow control, say
    // nothing the gauge's exchanges need: a request is six bytes, and the
    // next waits for the answer.
    if (command >= rfc2217::kCommandCount || !FAnswers[command].Awaited) return;
    if (const auto value = rfc2217::ValueOf(bytes)) FAnswers[command].Value = value;
}

}  // namespace qmx::net
