#include "netline/http_request.h"

#include <algorithm>
#include <cctype>

namespace qmx::net {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// RFC 9110's token characters: a method, a header's name.
bool IsToken(std::string_view text) {
    static constexpr std::string_view kSigns = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || kSigns.find(c) != std::string_view::npos;
    });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool HasWord(std::string_view list, std::string_view word) {
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        if (SameWord(Trimmed(list.substr(at, comma - at)), word)) return true;
        at = comma + 1;
    }
    return false;
}

THttpHead Refused(int status) {
    THttpHead head;
    head.State = THttpHead::TState::Refused;
    head.Status = status;
    return head;
}

// "GET /metrics HTTP/1.1": 0 when it is one, else the status to refuse it.
int ParseRequestLine(std::string_view line, THttpRequest& request, bool& http10) {
    const auto first = line.find(' ');
    const auto second = line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) return 400;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!IsToken(method) || target.empty() || target.front() != '/' ||
        target.find_first_of(" \t") != std::string_view::npos)
        return 400;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return version.rfind("HTTP/", 0) == 0 ? 505 : 400;
    request.Method = method;
    request.Path = target.substr(0, target.find('?'));
    http10 = version == "HTTP/1.0";
    request.KeepAlive = !http10;
    return 0;
}

// The headers between the request line and the blank line: 0 when they
// are taken, else the status to refuse them.
int ParseHeaders(std::string_view headers, THttpRequest& request, bool http10) {
    bool host = false;
    for (std::size_t at = 0; at < headers.size();) {
        const std::size_t end = headers.find(kLineEnd, at);
        const std::string_view line = headers.substr(at, end - at);
        at = end + kLineEnd.size();
        const auto colon = line.find(':');
        // A folded line (leading white space) and a name with white space
        // before its colon are refused, as RFC 9112 asks.
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return 400;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (SameWord(name, "Host")) {
            if (host) return 400;
            host = true;
        } else if (SameWord(name, "Transfer-Encoding") || (SameWord(name, "Content-Length") && value != "0")) {
            return 400;
        } else if (SameWord(name, "Connection")) {
            if (HasWord(value, "close")) request.KeepAlive = false;
            if (http10 && HasWord(value, "keep-alive")) request.KeepAlive = true;
        }
    }
    return host || http10 ? 0 : 400;
}

}  // namespace

THttpHead ParseRequestHead(std::string_view received, const THttpHeadLimits& limits) {
    const std::string_view bounded = received.substr(0, limits.MaxHeadBytes);
    const std::size_t end = bounded.find(kHeadEnd);
    // Each line is counted as it comes: a flood of short headers is refused
    // before the head's size is reached.
    std::size_t lines = 0;
    for (std::size_t at = bounded.find(kLineEnd); at != std::string_view::npos && at < end;
         at = bounded.find(kLineEnd, at + kLineEnd.size()))
        ++lines;
    if (lines > limits.MaxHeaders + 1) return Refused(431);
    if (end == std::string_view::npos) {
        if (received.size() < limits.MaxHeadBytes) return {};
        return Refused(bounded.find(kLineEnd) == std::string_view::npos ? 414 : 431);
    }
    THttpHead head;
    const std::size_t lineEnd = bounded.find(kLineEnd);
    bool http10 = false;
    if (const int status = ParseRequestLine(bounded.substr(0, lineEnd), head.Request, http10); status != 0)
        return Refused(status);
    if (lineEnd != end) {
        if (const int status = ParseHeaders(bounded.substr(lineEnd + 2, end - lineEnd), head.Request, http10);
            status != 0)
            return Refused(status);
    } else if (!http10) {
        return Refused(400);  // HTTP/1.1 without Host
    }
    head.State = THttpHead::TState::Complete;
    head.Length = end + kHeadEnd.size();
    return head;
}

const char* HttpReason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 414: return "URI Too Long";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Error";
    }
}

}  // namespace qmx::net
