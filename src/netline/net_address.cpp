#include "netline/net_address.h"

#include <cctype>

#include "netline/net_url_options.h"

namespace qmx::net {
namespace {

struct TScheme {
    const char* Prefix;
    TNetAddress::TKind Kind;
};

constexpr TScheme kSchemes[] = {
    {"socket://", TNetAddress::TKind::Socket},
    {"rfc2217://", TNetAddress::TKind::Rfc2217},
};

const TScheme* SchemeOf(const std::string& name) {
    for (const auto& scheme : kSchemes)
        if (name.rfind(scheme.Prefix, 0) == 0) return &scheme;
    return nullptr;
}

std::optional<std::uint16_t> PortOf(const std::string& digits, bool listening) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    unsigned long value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535 || (value == 0 && !listening)) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// A host name's characters (letters, digits, '-', '.', '_') or an IPv4
// literal's; anything else (a path, a space) is a typing error.
bool PlainHost(const std::string& host) {
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return false;
    return true;
}

bool Ipv6Literal(const std::string& host) {
    if (host.find(':') == std::string::npos) return false;
    for (char c : host)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    return true;
}

}  // namespace

std::string TNetAddress::Text() const {
    const std::string prefix = Kind == TKind::Socket ? "socket://" : "rfc2217://";
    const std::string host = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
    return prefix + host + ":" + std::to_string(Port) + (Options.empty() ? "" : "?" + Options);
}

bool IsNetworkName(const std::string& name) { return SchemeOf(name) != nullptr; }

namespace {

// What follows a '?' in `rest`, taken off it into `address`; false, with
// the problem, when the options are refused.
bool TakeUrlOptions(const std::string& name, bool listening, std::string& rest, TNetAddress& address,
                    std::string& problem) {
    const auto query = rest.find('?');
    if (query == std::string::npos) return true;
    if (listening) {
        problem = "'" + name + "': a port to listen on takes no options";
        return false;
    }
    address.Options = rest.substr(query + 1);
    rest.erase(query);
    if (ApplyUrlOptions(address, problem)) return true;
    problem = "'" + name + "': " + problem;
    return false;
}

}  // namespace

std::optional<TNetAddress> ParseNetAddress(const std::string& name, std::string& problem, bool listening) {
    const TScheme* scheme = SchemeOf(name);
    const std::string form = listening ? "HOST:PORT or :PORT" : "HOST:PORT";
    if (scheme == nullptr) {
        problem = "'" + name + "' is no network port (socket://" + form + " or rfc2217://" + form + ")";
        return std::nullopt;
    }
    std::string rest = name.substr(std::string(scheme->Prefix).size());
    TNetAddress address;
    address.Kind = scheme->Kind;
    if (!TakeUrlOptions(name, listening, rest, address, problem)) return std::nullopt;
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            problem = "'" + name + "': an IPv6 address goes in brackets, then ':' and the port";
            return std::nullopt;
        }
        address.Host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
        if (!Ipv6Literal(address.Host)) {
            problem = "'" + name + "': '" + address.Host + "' is no IPv6 address";
            return std::nullopt;
        }
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string::npos) {
            problem = "'" + name + "' needs a port: " + scheme->Prefix + form;
            return std::nullopt;
        }
        address.Host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (address.Host.find(':') != std::string::npos) {
            problem = "'" + name + "': an IPv6 address goes in brackets, like [::1]";
            return std::nullopt;
        }
        if (!PlainHost(address.Host)) {
            problem = "'" + name + "': '" + address.Host + "' is no host name or address";
            return std::nullopt;
        }
    }
    if (address.Host.empty() && !listening) {
        problem = "'" + name + "' needs a host: " + scheme->Prefix + form;
        return std::nullopt;
    }
    const auto port = PortOf(portText, listening);
    if (!port) {
        problem = "'" + name + "': the port is a number from " + (listening ? "0" : "1") + " to 65535, not '" +
                  portText + "'";
        return std::nullopt;
    }
    address.Port = *port;
    return address;
}

}  // namespace qmx::net
