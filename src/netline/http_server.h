#pragma once

// A small HTTP/1.1 server for a few fixed pages (Linux). One thread polls
// the listening socket and every connection, so that no client, idle, slow
// or flooding, holds up another: each connection has a deadline for its
// request, for the wait between requests and for taking its answer, and a
// head of bounded size; past the number of connections allowed, a new one
// takes the place of the one nearest its deadline. What a connection held
// is freed when it closes.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "netline/http_request.h"
#include "netline/net_listener.h"

namespace qmx::net {

struct THttpResponse {
    int Status = 200;
    std::string Type;
    std::string Body;
    std::string Allow;  // for 405: the methods there are
};

using THttpHandler = std::function<THttpResponse(const THttpRequest&)>;

struct THttpServerLimits {
    THttpHeadLimits Head;
    // From a connection's start, or a request's first byte, to the request's
    // blank line.
    std::chrono::milliseconds RequestTimeout{5000};
    // Kept alive between requests with nothing asked.
    std::chrono::milliseconds IdleTimeout{5000};
    // To take an answer.
    std::chrono::milliseconds WriteTimeout{10000};
    std::size_t MaxConnections = 256;
    unsigned MaxRequestsPerConnection = 100;
};

class THttpServer {
public:
    // Serves on `listener` from now on, on a thread of its own; `handler`
    // runs on it and answers GET (HEAD too, without the body).
    THttpServer(TListener listener, THttpHandler handler, THttpServerLimits limits = {});
    // Stops serving and closes every connection.
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    const TListener& Listener() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

}  // namespace qmx::net
