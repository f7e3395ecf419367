#include "netline/telnet.h"

namespace qmx::net::telnet {
namespace {

// A sub-negotiation longer than any this line uses is cut there: a peer
// that never sends SE cannot make it grow without end.
constexpr std::size_t kLongestSubnegotiation = 256;

void AppendCommand(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& wire) {
    wire.insert(wire.end(), {IAC, verb, option});
}

}  // namespace

void AppendEscaped(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire) {
    for (std::size_t i = 0; i < count; ++i) {
        wire.push_back(data[i]);
        if (data[i] == IAC) wire.push_back(IAC);
    }
}

void AppendSubnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& bytes,
                          std::vector<std::uint8_t>& wire) {
    wire.insert(wire.end(), {IAC, SB, option});
    AppendEscaped(bytes.data(), bytes.size(), wire);
    wire.insert(wire.end(), {IAC, SE});
}

void TDecoder::Feed(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                    std::vector<TCommand>& commands) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (FState) {
            case TState::Data:
                if (byte == IAC)
                    FState = TState::Command;
                else
                    data.push_back(byte);
                break;
            case TState::Command:
                if (byte == IAC) {
                    data.push_back(IAC);
                    FState = TState::Data;
                } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
                    FCommand = TCommand{byte, 0, {}};
                    FState = TState::Option;
                } else if (byte == SB) {
                    FCommand = TCommand{SB, 0, {}};
                    FState = TState::SubOption;
                } else {
                    // NOP, GA, AYT and the like carry nothing for a serial line.
                    FState = TState::Data;
                }
                break;
            case TState::Option:
                FCommand.Option = byte;
                commands.push_back(FCommand);
                FState = TState::Data;
                break;
            case TState::SubOption:
                FCommand.Option = byte;
                FState = TState::SubData;
                break;
            case TState::SubData:
                if (byte == IAC)
                    FState = TState::SubCommand;
                else if (FCommand.Bytes.size() < kLongestSubnegotiation)
                    FCommand.Bytes.push_back(byte);
                break;
            case TState::SubCommand:
                if (byte == IAC) {
                    if (FCommand.Bytes.size() < kLongestSubnegotiation) FCommand.Bytes.push_back(IAC);
                    FState = TState::SubData;
                } else {
                    // SE ends it; anything else is the peer's mistake, and
                    // ends it as well rather than swallow the line's bytes.
                    if (byte == SE) commands.push_back(FCommand);
                    FState = TState::Data;
                }
                break;
        }
    }
}

TOptions::TOptions(std::initializer_list<std::uint8_t> ours, std::initializer_list<std::uint8_t> theirs) {
    for (std::uint8_t option : ours) FOursAllowed[option] = true;
    for (std::uint8_t option : theirs) FTheirsAllowed[option] = true;
}

void TOptions::Offer(std::uint8_t option, std::vector<std::uint8_t>& wire) {
    if (FOurs[option] != TOptionState::No) return;
    FOurs[option] = TOptionState::WantYes;
    AppendCommand(WILL, option, wire);
}

void TOptions::Ask(std::uint8_t option, std::vector<std::uint8_t>& wire) {
    if (FTheirs[option] != TOptionState::No) return;
    FTheirs[option] = TOptionState::WantYes;
    AppendCommand(DO, option, wire);
}

void TOptions::Answer(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& wire) {
    // A request that confirms what stands, or answers this side's own
    // offer, needs no reply: replying would start a loop.
    switch (verb) {
        case DO:
            if (!FOursAllowed[option]) {
                AppendCommand(WONT, option, wire);
            } else if (FOurs[option] != TOptionState::Yes) {
                if (FOurs[option] == TOptionState::No) AppendCommand(WILL, option, wire);
                FOurs[option] = TOptionState::Yes;
            }
            break;
        case DONT:
            if (FOurs[option] == TOptionState::Yes) AppendCommand(WONT, option, wire);
            FOurs[option] = TOptionState::No;
            break;
        case WILL:
            if (!FTheirsAllowed[option]) {
                AppendCommand(DONT, option, wire);
            } else if (FTheirs[option] != TOptionState::Yes) {
                if (FTheirs[option] == TOptionState::No) AppendCommand(DO, option, wire);
                FTheirs[option] = TOptionState::Yes;
            }
            break;
        case WONT:
            if (FTheirs[option] == TOptionState::Yes) AppendCommand(DONT, option, wire);
            FTheirs[option] = TOptionState::No;
            break;
        default:
            break;
    }
}

}  // namespace qmx::net::telnet
