#include "netline/http_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <list>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace qmx::net {
namespace {

using TClock = std::chrono::steady_clock;

// A descriptor, closed with its owner.
class TFd {
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(TFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    TFd& operator=(TFd&& other) noexcept {
        std::swap(FFd, other.FFd);
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

struct TConnection {
    enum class TPhase { Reading, Writing, Draining };
    explicit TConnection(int fd) : Fd(fd) {}
    TFd Fd;
    TPhase Phase = TPhase::Reading;
    std::string In;   // received, not yet taken: at most a head
    std::string Out;  // the answer being sent
    std::size_t Sent = 0;
    bool CloseAfter = false;
    unsigned Served = 0;
    TClock::time_point Deadline;
    bool Done = false;
};

std::string ResponseText(const THttpResponse& response, bool withBody, bool keepAlive) {
    std::string text = "HTTP/1.1 " + std::to_string(response.Status) + " " + HttpReason(response.Status) + "\r\n";
    if (!response.Type.empty()) text += "Content-Type: " + response.Type + "\r\n";
    if (!response.Allow.empty()) text += "Allow: " + response.Allow + "\r\n";
    text += "Content-Length: " + std::to_string(response.Body.size()) + "\r\n";
    text += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (withBody) text += response.Body;
    return text;
}

THttpResponse Refusal(int status) {
    return {status, "text/plain; charset=utf-8", std::string(HttpReason(status)) + "\n", ""};
}

}  // namespace

struct THttpServer::TState {
    TState(TListener listener, THttpHandler handler, THttpServerLimits limits)
        : Listener(std::move(listener)), Handler(std::move(handler)), Limits(limits) {}

    void Run();
    void Accept();
    void Read(TConnection& connection);
    void TakeRequests(TConnection& connection);
    void Answer(TConnection& connection, const THttpResponse& response, bool withBody, bool keepAlive);
    void Write(TConnection& connection);
    void Drain(TConnection& connection);

    TListener Listener;
    THttpHandler Handler;
    THttpServerLimits Limits;
    std::list<TConnection> Connections;
    TFd WakeRead, WakeWrite;
    std::atomic<bool> Stopping{false};
    std::thread Thread;
};

void THttpServer::TState::Run() {
    std::vector<pollfd> polled;
    while (!Stopping) {
        polled.assign({{WakeRead.Get(), POLLIN, 0}, {Listener.Fd(), POLLIN, 0}});
        auto next = TClock::time_point::max();
        for (const auto& connection : Connections) {
            const short events = connection.Phase == TConnection::TPhase::Writing ? POLLOUT : POLLIN;
            polled.push_back({connection.Fd.Get(), events, 0});
            next = std::min(next, connection.Deadline);
        }
        const auto wait = next == TClock::time_point::max()
                              ? -1
                              : std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           next - TClock::now()).count() + 1);
        if (::poll(polled.data(), polled.size(), static_cast<int>(std::min<long long>(wait, 60000))) < 0 &&
            errno != EINTR)
            return;
        if (polled[0].revents != 0) return;
        const auto now = TClock::now();
        std::size_t at = 2;
        for (auto& connection : Connections) {
            const short events = polled[at++].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) {
                if (connection.Phase == TConnection::TPhase::Draining) Drain(connection);
                else if (connection.Phase == TConnection::TPhase::Reading) Read(connection);
            }
            if ((events & (POLLOUT | POLLERR)) && connection.Phase == TConnection::TPhase::Writing)
                Write(connection);
            if (!connection.Done && now >= connection.Deadline) connection.Done = true;
        }
        Connections.remove_if([](const TConnection& connection) { return connection.Done; });
        if (polled[1].revents & POLLIN) Accept();
    }
}

// Every connection waiting; when they are too many, the one that asked
// nothing for longest makes room.
void THttpServer::TState::Accept() {
    for (int fd; (fd = Listener.Accept()) >= 0;) {
        if (Connections.size() >= Limits.MaxConnections) {
            const auto oldest = std::min_element(Connections.begin(), Connections.end(),
                                                 [](const TConnection& a, const TConnection& b) {
                                                     return a.Deadline < b.Deadline;
                                                 });
            Connections.erase(oldest);
        }
        Connections.emplace_back(fd).Deadline = TClock::now() + Limits.RequestTimeout;
    }
}

void THttpServer::TState::Read(TConnection& connection) {
    // Never more than a head can hold: a flood stays in the socket until
    // the head is refused.
    char chunk[4096];
    const std::size_t room = Limits.Head.MaxHeadBytes + 1 - std::min(connection.In.size(), Limits.Head.MaxHeadBytes);
    const ssize_t got = ::recv(connection.Fd.Get(), chunk, std::min(room, sizeof chunk), 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        connection.Done = true;
        return;
    }
    if (got < 0) return;
    if (connection.In.empty()) connection.Deadline = TClock::now() + Limits.RequestTimeout;
    connection.In.append(chunk, static_cast<std::size_t>(got));
    TakeRequests(connection);
}

void THttpServer::TState::TakeRequests(TConnection& connection) {
    const THttpHead head = ParseRequestHead(connection.In, Limits.Head);
    if (head.State == THttpHead::TState::Incomplete) return;
    if (head.State == THttpHead::TState::Refused) {
        Answer(connection, Refusal(head.Status), true, false);
        return;
    }
    connection.In.erase(0, head.Length);
    const THttpRequest& request = head.Request;
    const bool keepAlive = request.KeepAlive && ++connection.Served < Limits.MaxRequestsPerConnection;
    if (request.Method != "GET" && request.Method != "HEAD") {
        THttpResponse refusal = Refusal(405);
        refusal.Allow = "GET, HEAD";
        Answer(connection, refusal, true, keepAlive);
        return;
    }
    Answer(connection, Handler(request), request.Method == "GET", keepAlive);
}

void THttpServer::TState::Answer(TConnection& connection, const THttpResponse& response, bool withBody,
                                 bool keepAlive) {
    connection.Out = ResponseText(response, withBody, keepAlive);
    connection.Sent = 0;
    connection.CloseAfter = !keepAlive;
    connection.Phase = TConnection::TPhase::Writing;
    connection.Deadline = TClock::now() + Limits.WriteTimeout;
    Write(connection);
}

void THttpServer::TState::Write(TConnection& connection) {
    while (connection.Sent < connection.Out.size()) {
        const ssize_t sent = ::send(connection.Fd.Get(), connection.Out.data() + connection.Sent,
                                    connection.Out.size() - connection.Sent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EINTR) connection.Done = true;
            return;
        }
        connection.Sent += static_cast<std::size_t>(sent);
    }
    std::string().swap(connection.Out);
    if (connection.CloseAfter) {
        // The rest of what the client sends is read and dropped for a
        // moment, so that closing does not reset the connection before
        // the client has read the answer.
        ::shutdown(connection.Fd.Get(), SHUT_WR);
        std::string().swap(connection.In);
        connection.Phase = TConnection::TPhase::Draining;
        connection.Deadline = TClock::now() + std::min(Limits.RequestTimeout, std::chrono::milliseconds(2000));
        return;
    }
    connection.Phase = TConnection::TPhase::Reading;
    connection.Deadline = TClock::now() + Limits.IdleTimeout;
    if (!connection.In.empty()) TakeRequests(connection);  // a request sent before the answer came
}

void THttpServer::TState::Drain(TConnection& connection) {
    char chunk[4096];
    const ssize_t got = ::recv(connection.Fd.Get(), chunk, sizeof chunk, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) connection.Done = true;
}

THttpServer::THttpServer(TListener listener, THttpHandler handler, THttpServerLimits limits)
    : FState(std::make_unique<TState>(std::move(listener), std::move(handler), limits)) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    FState->WakeRead = TFd(ends[0]);
    FState->WakeWrite = TFd(ends[1]);
    FState->Thread = std::thread([state = FState.get()] { state->Run(); });
}

THttpServer::~THttpServer() {
    FState->Stopping = true;
    const char stop = 0;
    [[maybe_unused]] const ssize_t written = ::write(FState->WakeWrite.Get(), &stop, 1);
    FState->Thread.join();
}

const TListener& THttpServer::Listener() const { return FState->Listener; }

}  // namespace qmx::net
