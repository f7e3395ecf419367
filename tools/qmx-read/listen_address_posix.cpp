#include <arpa/inet.h>

#include "listen_address.h"
#include "platform/whole_number.h"

namespace qmx::tools {

std::string TListenAddress::Text() const {
    const std::string host = Host.find(':') == std::string::npos ? Host : "[" + Host + "]";
    return host + ":" + std::to_string(Port);
}

std::optional<TListenAddress> ParseListenAddress(const std::string& text, std::string& problem) {
    const std::string form = "--listen takes [ADDRESS:]PORT, like 9723 (127.0.0.1), :9723 (every IPv4 address) or "
                             "[::1]:9723, not '" + text + "'";
    std::string host, port = text;
    // A port alone stays on the machine; an empty host before a colon is
    // every address.
    std::string unnamed = "127.0.0.1";
    int family = AF_INET;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos) {
            problem = form;
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        family = AF_INET6;
    } else if (const auto colon = text.find(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        unnamed = "0.0.0.0";
        if (port.find(':') != std::string::npos) {
            problem = "--listen: an IPv6 address goes in brackets, like [::1]:9723";
            return std::nullopt;
        }
    }
    unsigned char bytes[16];
    if ((family == AF_INET6 || !host.empty()) && ::inet_pton(family, host.c_str(), bytes) != 1) {
        problem = "--listen: '" + host + "' is not a numeric " + (family == AF_INET6 ? "IPv6" : "IPv4") +
                  " address (names are not looked up)";
        return std::nullopt;
    }
    const auto number = ParseWholeNumber(port, 0, 65535);
    if (!number) {
        problem = form;
        return std::nullopt;
    }
    return TListenAddress{host.empty() ? unnamed : host, *number};
}

}  // namespace qmx::tools
