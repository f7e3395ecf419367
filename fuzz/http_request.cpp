// The exporter's request head reader on any bytes a client may send: it
// never reads past what came or past its bound, and what it takes is a
// request the server can act on.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "netline/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qmx::net::THttpHead;
    const std::string_view received(reinterpret_cast<const char*>(data), size);
    qmx::net::THttpHeadLimits limits;
    limits.MaxHeadBytes = 512;
    limits.MaxHeaders = 8;
    const THttpHead head = qmx::net::ParseRequestHead(received, limits);
    switch (head.State) {
        case THttpHead::TState::Incomplete:
            if (size >= limits.MaxHeadBytes) std::abort();  // a head past its bound is refused
            break;
        case THttpHead::TState::Complete:
            if (head.Length > size || head.Length > limits.MaxHeadBytes ||
                received.substr(0, head.Length).substr(head.Length - 4) != "\r\n\r\n" ||
                head.Request.Path.empty() || head.Request.Path.front() != '/' || head.Request.Method.empty())
                std::abort();
            break;
        case THttpHead::TState::Refused:
            if (head.Status != 400 && head.Status != 414 && head.Status != 431 && head.Status != 505) std::abort();
            break;
    }
    return 0;
}
