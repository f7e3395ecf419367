#pragma once

// A gauge line behind a network, named as pySerial names such ports:
// socket://HOST:PORT (raw TCP) and rfc2217://HOST:PORT (Telnet with the
// COM-PORT option). HOST is a name, an IPv4 literal or an [IPv6] literal.
// pySerial's options may follow, after '?' and joined by '&'
// (rfc2217://HOST:PORT?ign_set_control&timeout=10): those that mean
// something here are taken, the others refused by name.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qmx::net {

struct TNetAddress {
    enum class TKind { Socket, Rfc2217 };
    TKind Kind = TKind::Socket;
    std::string Host;  // without the brackets of an IPv6 literal
    std::uint16_t Port = 0;
    // rfc2217:// ign_set_control: a line control request (RTS, flow) is
    // sent and not waited for, as for a server known never to answer it.
    bool IgnoreSetControl = false;
    // rfc2217:// timeout=SECONDS: how long the server has to take the
    // COM-PORT option and answer each setting; nothing: the default.
    std::optional<std::chrono::milliseconds> AnswerTimeout = {};
    std::string Options = {};  // as given after '?', empty for none

    // The name as the user gives it: rfc2217://[::1]:2217?ign_set_control.
    std::string Text() const;
};

// True when `name` is meant as a network line (it has one of the schemes),
// whether or not the rest of it is right.
bool IsNetworkName(const std::string& name);

// The address, or nothing with `problem` said for the user. A listener may
// leave the host out (`rfc2217://:2217`), and only a listener may take
// port 0 (any free port).
std::optional<TNetAddress> ParseNetAddress(const std::string& name, std::string& problem, bool listening = false);

}  // namespace qmx::net
