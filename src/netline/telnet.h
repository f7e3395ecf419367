#pragma once

// The Telnet layer of a network line (RFC 854 and 855): commands start with
// IAC (0xFF), so a 0xFF of the line's own travels doubled; options are
// offered and answered with WILL, WONT, DO and DONT, and carry their own
// sub-negotiations between SB and SE.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace qmx::net::telnet {

constexpr std::uint8_t IAC = 255;
constexpr std::uint8_t DONT = 254;
constexpr std::uint8_t DO = 253;
constexpr std::uint8_t WONT = 252;
constexpr std::uint8_t WILL = 251;
constexpr std::uint8_t SB = 250;
constexpr std::uint8_t SE = 240;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kEcho = 1;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPortOption = 44;

// Appends the line's bytes as they go on the connection: every 0xFF twice.
void AppendEscaped(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire);
// Appends IAC SB option bytes... IAC SE, its bytes escaped.
void AppendSubnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& bytes,
                          std::vector<std::uint8_t>& wire);

struct TCommand {
    std::uint8_t Verb = 0;  // WILL, WONT, DO, DONT or SB
    std::uint8_t Option = 0;
    std::vector<std::uint8_t> Bytes;  // of a sub-negotiation, unescaped
    bool operator==(const TCommand&) const = default;
};

// Splits what arrives into the line's bytes and commands, however the
// bytes are cut into reads.
class TDecoder {
public:
    void Feed(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
              std::vector<TCommand>& commands);

private:
    enum class TState { Data, Command, Option, SubOption, SubData, SubCommand };
    TState FState = TState::Data;
    TCommand FCommand;
};

// Where an option stands on one side (RFC 1143, without the queue: this
// side offers each option once).
enum class TOptionState { No, WantYes, Yes };

// The options each side may take and where they stand; answers the peer's
// requests so that no request goes unanswered and none loops.
class TOptions {
public:
    // `ours`: options this side will perform (answered WILL to a DO);
    // `theirs`: options the peer may perform (answered DO to a WILL).
    TOptions(std::initializer_list<std::uint8_t> ours, std::initializer_list<std::uint8_t> theirs);

    // IAC WILL `option`, once: this side offers to perform it.
    void Offer(std::uint8_t option, std::vector<std::uint8_t>& wire);
    // IAC DO `option`, once: this side asks the peer to perform it.
    void Ask(std::uint8_t option, std::vector<std::uint8_t>& wire);
    // The peer's WILL, WONT, DO or DONT: the reply it needs, if any.
    void Answer(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& wire);

    TOptionState Ours(std::uint8_t option) const { return FOurs[option]; }
    TOptionState Theirs(std::uint8_t option) const { return FTheirs[option]; }

private:
    bool FOursAllowed[256] = {};
    bool FTheirsAllowed[256] = {};
    TOptionState FOurs[256] = {};
    TOptionState FTheirs[256] = {};
};

}  // namespace qmx::net::telnet
