// The Telnet layer under RFC 2217: commands told from the line's bytes
// however the reads cut them, 0xFF doubled, and option requests answered
// without loops.

#include <gtest/gtest.h>

#include "netline/telnet.h"

namespace qmx::net::telnet {
namespace {

using TBytes = std::vector<std::uint8_t>;

struct TDecodeCase {
    const char* Name;
    TBytes Wire;
    TBytes Data;
    std::vector<TCommand> Commands;
};

const TDecodeCase kDecodes[] = {
    {"plain bytes", {0x02, 'L', 0x03}, {0x02, 'L', 0x03}, {}},
    {"doubled 0xFF", {0x41, IAC, IAC, 0x42}, {0x41, 0xFF, 0x42}, {}},
    {"option request among bytes", {0x41, IAC, DO, kBinary, 0x42}, {0x41, 0x42}, {{DO, kBinary, {}}}},
    {"sub-negotiation with a doubled 0xFF",
     {IAC, SB, kComPortOption, 101, 0x00, 0x00, IAC, IAC, 0x00, IAC, SE, 0x43},
     {0x43},
     {{SB, kComPortOption, {101, 0x00, 0x00, 0xFF, 0x00}}}},
    {"NOP dropped", {IAC, 241, 0x44}, {0x44}, {}},
    {"broken sub-negotiation ends without its SE", {IAC, SB, kComPortOption, 105, IAC, 0x07, 0x45}, {0x45}, {}},
};

TEST(TelnetDecoder, SplitsBytesFromCommandsAtEveryCut) {
    for (const auto& c : kDecodes) {
        // Whole, and cut at each position: a read may end anywhere.
        for (std::size_t cut = 0; cut <= c.Wire.size(); ++cut) {
            TDecoder decoder;
            TBytes data;
            std::vector<TCommand> commands;
            decoder.Feed(c.Wire.data(), cut, data, commands);
            decoder.Feed(c.Wire.data() + cut, c.Wire.size() - cut, data, commands);
            EXPECT_EQ(data, c.Data) << c.Name << ", cut at " << cut;
            EXPECT_TRUE(commands == c.Commands) << c.Name << ", cut at " << cut;
        }
    }
}

TEST(TelnetEscape, DoublesOnly0xFF) {
    const TBytes data{0x02, 0xFF, 0xFE, 0xFF, 0xFF, 0x03};
    TBytes wire;
    AppendEscaped(data.data(), data.size(), wire);
    EXPECT_EQ(wire, (TBytes{0x02, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x03}));
    TDecoder decoder;
    TBytes back;
    std::vector<TCommand> commands;
    decoder.Feed(wire.data(), wire.size(), back, commands);
    EXPECT_EQ(back, data);
}

// The client's policy: COM-PORT, binary and no go-aheads of its own;
// binary and no go-aheads of the server's.
struct TAnswerCase {
    const char* Name;
    bool OfferedFirst;  // the client offered/asked the option before
    std::uint8_t Verb;
    std::uint8_t Option;
    TBytes Reply;
    TOptionState Ours;
    TOptionState Theirs;
};

const TAnswerCase kAnswers[] = {
    {"server echo refused", false, WILL, kEcho, {IAC, DONT, kEcho}, TOptionState::No, TOptionState::No},
    {"unknown option refused", false, DO, 24, {IAC, WONT, 24}, TOptionState::No, TOptionState::No},
    {"binary asked, taken", false, DO, kBinary, {IAC, WILL, kBinary}, TOptionState::Yes, TOptionState::No},
    {"binary offered, taken", false, WILL, kBinary, {IAC, DO, kBinary}, TOptionState::No, TOptionState::Yes},
    {"answer to an offer: no loop", true, DO, kBinary, {}, TOptionState::Yes, TOptionState::WantYes},
    {"answer to a request: no loop", true, WILL, kBinary, {}, TOptionState::WantYes, TOptionState::Yes},
    {"offer refused", true, DONT, kComPortOption, {}, TOptionState::No, TOptionState::WantYes},
    {"refusal of what stands", false, DONT, kSuppressGoAhead, {}, TOptionState::No, TOptionState::No},
};

TEST(TelnetOptions, EveryRequestAnsweredOnceAndNoneLoops) {
    for (const auto& c : kAnswers) {
        TOptions options({kComPortOption, kBinary, kSuppressGoAhead}, {kBinary, kSuppressGoAhead});
        TBytes opening;
        if (c.OfferedFirst) {
            options.Offer(c.Option, opening);
            options.Ask(c.Option, opening);
        }
        TBytes reply;
        options.Answer(c.Verb, c.Option, reply);
        EXPECT_EQ(reply, c.Reply) << c.Name;
        EXPECT_EQ(options.Ours(c.Option), c.Ours) << c.Name;
        EXPECT_EQ(options.Theirs(c.Option), c.Theirs) << c.Name;
        // The same request again changes nothing and is not answered again.
        if (c.Reply.empty() || c.Ours == TOptionState::Yes || c.Theirs == TOptionState::Yes) {
            TBytes again;
            options.Answer(c.Verb, c.Option, again);
            EXPECT_TRUE(again.empty() || again == c.Reply) << c.Name;
            if (c.Ours == TOptionState::Yes || c.Theirs == TOptionState::Yes) {
                EXPECT_TRUE(again.empty()) << c.Name;
            }
        }
    }
}

}  // namespace
}  // namespace qmx::net::telnet
