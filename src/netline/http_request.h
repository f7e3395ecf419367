#pragma once

// The head of an HTTP/1.x request as a server of a few fixed pages takes
// it: the request line and the headers it acts on, within bounds that no
// client can push the server's memory past. A request with a body is
// refused: these pages take none, and a body not read would be taken for
// the next request.

#include <cstddef>
#include <string>
#include <string_view>

namespace qmx::net {

struct THttpHeadLimits {
    std::size_t MaxHeadBytes = 8192;  // the request line, the headers, the blank line
    std::size_t MaxHeaders = 64;
};

struct THttpRequest {
    std::string Method;
    std::string Path;  // the target without its query
    // HTTP/1.1 unless it says "Connection: close"; HTTP/1.0 only when it
    // says "Connection: keep-alive".
    bool KeepAlive = true;
};

struct THttpHead {
    enum class TState { Incomplete, Complete, Refused };
    TState State = TState::Incomplete;
    std::size_t Length = 0;  // Complete: the head's bytes, the blank line's included
    int Status = 0;          // Refused: 400, 414, 431 or 505
    THttpRequest Request;
};

// Reads the head at the start of `received` (what has come so far).
THttpHead ParseRequestHead(std::string_view received, const THttpHeadLimits& limits);

// The words for a status this server answers: "Not Found" for 404.
const char* HttpReason(int status);

}  // namespace qmx::net
