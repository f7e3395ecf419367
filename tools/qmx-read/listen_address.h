#pragma once

// Where --listen serves the metrics. A port alone is the loopback address,
// so that starting the exporter never opens the station's readings to its
// network by accident; `:PORT` is every IPv4 address, as `:9100` is for
// every Prometheus exporter, whose habit an administrator brings along.

#include <optional>
#include <string>

namespace qmx::tools {

struct TListenAddress {
    std::string Host;  // numeric, without brackets: "127.0.0.1", "::1"
    int Port = 0;      // 0: any free port, said when the reader starts
    // As written on a command line: "127.0.0.1:9723", "[::1]:9723".
    std::string Text() const;
};

// `PORT` (127.0.0.1), `:PORT` (0.0.0.0), `IPV4:PORT` or `[IPV6]:PORT`;
// names are refused, so that what is bound does not depend on a resolver.
// `:PORT` is IPv4 alone: a dual-stack [::] depends on the system's
// bindv6only and fails where IPv6 is disabled; `[::]:PORT` asks for it. Nothing (and `problem` set)
// for anything else, and on a system where the reader has no exporter.
std::optional<TListenAddress> ParseListenAddress(const std::string& text, std::string& problem);

}  // namespace qmx::tools
