#pragma once

// A plain HTTP client on loopback for the exporter's tests and benchmark:
// ours, not the server's library, so that the two cannot share a fault.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace qmx::test {

// A socket, closed with its owner.
struct TSocket {
    explicit TSocket(int family) : Fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~TSocket() {
        if (Fd >= 0) ::close(Fd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd;
};

// A loopback address, IPv4 or IPv6 by its form.
inline sockaddr_storage Address(const std::string& host, int port, socklen_t& length) {
    sockaddr_storage address{};
    if (host.find(':') == std::string::npos) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
        length = sizeof *v4;
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
        length = sizeof *v6;
    }
    return address;
}

// Connected to the exporter, or Fd -1.
inline std::unique_ptr<TSocket> Connect(const std::string& host, int port) {
    socklen_t length = 0;
    const sockaddr_storage address = Address(host, port, length);
    auto socket = std::make_unique<TSocket>(address.ss_family);
    const timeval limit{5, 0};  // a server that never answers fails the test, not hangs it
    ::setsockopt(socket->Fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(socket->Fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(socket->Fd);
        socket->Fd = -1;
    }
    return socket;
}

struct TResponse {
    int Status = 0;  // 0: no answer
    std::string Type;
    std::string Body;
};

// A GET as a scraper makes it, read to the end.
inline TResponse Get(const std::string& host, int port, const std::string& path) {
    const auto socket = Connect(host, port);
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: qmx\r\nConnection: close\r\n\r\n";
    if (socket->Fd < 0 || ::send(socket->Fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return {};
    std::string answer;
    char chunk[4096];
    for (ssize_t got; (got = ::recv(socket->Fd, chunk, sizeof chunk, 0)) > 0;)
        answer.append(chunk, static_cast<std::size_t>(got));
    const auto headersEnd = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || headersEnd == std::string::npos) return {};
    TResponse response{std::atoi(answer.c_str() + 9), "", answer.substr(headersEnd + 4)};
    std::string headers = answer.substr(0, headersEnd + 2);
    std::transform(headers.begin(), headers.end(), headers.begin(), [](unsigned char c) { return std::tolower(c); });
    if (const auto at = headers.find("\r\ncontent-type: "); at != std::string::npos)
        response.Type = answer.substr(at + 16, answer.find("\r\n", at + 2) - at - 16);
    return response;
}

// A request of `headers` headers, sent while the server lets it; what came
// back then.
inline std::string Flood(int port, int headers) {
    const auto socket = Connect("127.0.0.1", port);
    std::string text = "GET /metrics HTTP/1.1\r\nHost: qmx\r\n";
    for (int i = 0; i < headers; ++i) text += "X-Flood: 1\r\n";
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t sent = ::send(socket->Fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
        if (sent <= 0) break;
        at += static_cast<std::size_t>(sent);
    }
    char answer[64] = {};
    return ::recv(socket->Fd, answer, sizeof answer - 1, 0) > 0 ? answer : "";
}

}  // namespace qmx::test
