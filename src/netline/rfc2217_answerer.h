#pragma once

// The server's side of RFC 2217, as a device server has it: it answers
// each setting the client asks for and records it. One that refuses the
// settings answers 8N1 instead, whatever it is asked, for testing a
// client's checks.

#include <cstdint>
#include <string>
#include <vector>

#include "netline/telnet.h"
#include "platform/recursive_lock.h"

namespace qmx::net {

// The line as the client set it; 0 for what it has not set.
struct TLineSettings {
    std::uint32_t BaudRate = 0;
    std::uint32_t DataSize = 0;
    std::uint32_t Parity = 0;  // the option's codes: 1 none, 2 odd, 3 even
    std::uint32_t StopSize = 0;
    std::vector<std::uint32_t> Controls;  // every SET-CONTROL, in order
    int Purges = 0;
};

class TRfc2217Answerer {
public:
    // `signature`: what the server calls itself when a client asks.
    explicit TRfc2217Answerer(std::string signature, bool refuseSettings = false);

    // What a new client is sent first: the server asks for the option and
    // offers binary mode and no go-aheads.
    std::vector<std::uint8_t> Opening();
    // The line's bytes among what the client sent go to `data`, the answers
    // to `reply`; `notes` says what the client set, for the trace.
    void Decode(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>& reply, std::vector<std::string>& notes);
    // The line's bytes as they go to the client: every 0xFF twice.
    static void Encode(const std::uint8_t* data, std::size_t count, std::vector<std::uint8_t>& wire);

    TLineSettings Settings();

private:
    void Answer(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& reply,
                std::vector<std::string>& notes);

    const std::string FSignature;
    const bool FRefuseSettings;
    telnet::TDecoder FDecoder;
    telnet::TOptions FOptions;
    TRecursiveLock FLock;
    TLineSettings FSettings;
};

}  // namespace qmx::net
